#pragma once

#include <QObject>

class frmMain;
class QSocketNotifier;

// What a measuring script asks of the running program while the trace is on
// (TOVARINTH_TRACE_FILE), by signals, so that it needs no screen reader:
//   SIGUSR1 runs the sync, as the sync toolbar's retry button does; ignored
//           while work runs or a dialog is open, when that button could not
//           be clicked either;
//   SIGUSR2 appends to the trace one event "window:" + the percent-encoded
//           JSON of what the main window shows: the rows' cells and
//           selection, whether the list is enabled, the visible sync button,
//           the open dialog's title, the screen rectangles of the list
//           and the retry button, and the heap's bytes in use and held free.
// Without the trace nothing is installed and the signals keep their default.
class cTraceSignals : public QObject
{
public:
    explicit cTraceSignals(frmMain& window);
    ~cTraceSignals() override;

private:
    void Take();
    QString Describe() const;

    frmMain& window_;
    QSocketNotifier* notifier_ = nullptr;
};
