#pragma once

#include <QIcon>
#include <QPixmap>

// The program's images, drawn with QPainter at run time so that they are sharp
// at any device pixel ratio: every pixmap is drawn at its logical size times
// dpr and carries dpr, so its deviceIndependentSize() is the logical size.
// Backgrounds are transparent. A QGuiApplication must exist.

// BRAND: maker names set as type, one cell per maker, in the order of the
// maker list: 0 a generic logo, then canon, nikon, sony, fuji, olympus,
// panasonic, pentax, casio, leica, ricoh, samsung, apple, huawei.
constexpr int kBrandCount = 14;
constexpr int kBrandWidth = 55;
constexpr int kBrandHeight = 24;
QPixmap BrandStrip(qreal dpr);
// The same cells as a selected row shows them: each logo on a light plate of
// its own, so that it keeps its contrast on the highlight.
QPixmap BrandPlateStrip(const QPixmap& brandStrip);
QPixmap BrandLogo(int index, qreal dpr); // an empty pixmap for an index out of range

// STATUS: the sync toolbar's images: 0 idle, 1 syncing, 2 synced, 3 failed,
// 4 spare.
constexpr int kStatusCount = 5;
constexpr int kStatusSize = 22;
QPixmap StatusStrip(qreal dpr);
QPixmap StatusImage(int index, qreal dpr);

// CAM: equipment types: 0 kit lens, 1 camera of unknown type, 2 DSLR-H,
// 3 DSLR-M, 4 DSLR-E, 5 MILC, 6 COMPACT, 7 video camera, 8 lens, 9 drone,
// 10 film camera, 11 action camera, 12 rangefinder, 13 CELL (phone).
constexpr int kCamCount = 14;
constexpr int kCamSize = 24;
QPixmap CamStrip(qreal dpr);
QPixmap CamImage(int index, qreal dpr);

// The program's icon at 16, 24, 32, 48, 64, 128 and 256 pixels.
QIcon ProgramIcon();
constexpr int kProgramIconSizes[] = {16, 24, 32, 48, 64, 128, 256};

// The warning triangle of the too-old-editor panel, 32 by 32.
constexpr int kWarningSize = 32;
QPixmap WarningImage(qreal dpr);
