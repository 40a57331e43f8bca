#pragma once

#include <QString>

class QObject;

// Timestamps for measuring the program's own cost, off unless the
// environment variable TOVARINTH_TRACE_FILE names a file. Each mark appends
// one line "<event> <ms since the process started> <ms since the epoch>".
namespace Trace {

bool Enabled();

// Appends the event's line. A watched widget's next paint after it is marked
// as "paint-after-<event>".
void Mark(const QString& event);

// Appends the event's line and nothing more: no paint is awaited after it.
void Append(const QString& event);

// Marks the first paint of target as "first-paint", and its first paint after
// each Mark as described there. Nothing when tracing is off.
void WatchPaints(QObject* target);

} // namespace Trace
