#pragma once

#include <QProgressBar>

// A progress bar whose marquee runs while work of unknown length goes on.
class cProgressBar : public QProgressBar
{
    Q_OBJECT

public:
    explicit cProgressBar(QWidget* parent = nullptr) : QProgressBar(parent)
    {
        setTextVisible(false);
    }

    bool Marquee() const { return maximum() == 0; }
    void SetMarquee(bool on)
    {
        // A range of 0..0 is Qt's busy indicator.
        setRange(0, on ? 0 : 100);
        setValue(0);
    }
};
