#pragma once

#include <QElapsedTimer>
#include <QTimer>

// The longest time between two passes of the event loop, measured from the
// meter's creation with a zero-interval timer, which fires once on every pass.
// A loop that is never serviced shows as one long gap at the next pass.
// ElapsedMs: the time since the meter's creation.
class LoopGapMeter
{
public:
    LoopGapMeter()
    {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            longest_ = std::max(longest_, clock_.nsecsElapsed() - last_);
            last_ = clock_.nsecsElapsed();
        });
        clock_.start();
        timer_.start(0);
    }
    double LongestMs() const { return longest_ / 1e6; }
    qint64 ElapsedMs() const { return clock_.elapsed(); }

private:
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 last_ = 0, longest_ = 0;
};
