#pragma once

#include <QString>
#include <cstdint>

class QWidget;

// Sets up the window system for the program's controls and records the
// width of a vertical scroll bar. True when nothing failed.
bool InitControls(QString& scrollBarWidth);

// Gives window the icon of an executable. A path that is empty or names no
// existing file is replaced, in the caller's variable, by the running
// executable; every executable of ours carries the program's icon. kind 1
// is the big icon, 0 the small one (one icon set serves both here).
int32_t SetFormIcon(QWidget* window, QString& path, int16_t index, int16_t kind);
