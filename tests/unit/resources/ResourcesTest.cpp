#include "resources/Resources.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <functional>
#include <gtest/gtest.h>

namespace {

struct StripKind
{
    const char* name;
    std::function<QPixmap(qreal)> strip;
    std::function<QPixmap(int, qreal)> cell;
    int count;
    int width;
    int height;
};

const StripKind kStrips[] = {
    {"BRAND", BrandStrip, BrandLogo, kBrandCount, kBrandWidth, kBrandHeight},
    {"STATUS", StatusStrip, StatusImage, kStatusCount, kStatusSize, kStatusSize},
    {"CAM", CamStrip, CamImage, kCamCount, kCamSize, kCamSize},
};

QImage Argb(const QPixmap& pixmap)
{
    return pixmap.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

// Pixels that are not (almost) transparent.
int InkedPixels(const QImage& image, const QRect& area)
{
    int inked = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            inked += qAlpha(image.pixel(x, y)) > 16 ? 1 : 0;
    return inked;
}

int InkedPixels(const QImage& image)
{
    return InkedPixels(image, image.rect());
}

// Ink in the frame of the given width around the image's edge.
int InkInFrame(const QImage& image, int frame)
{
    return InkedPixels(image) -
           InkedPixels(image, image.rect().adjusted(frame, frame, -frame, -frame));
}

} // namespace

TEST(Resources, Strips_HaveTheirSizesAtEveryRatio)
{
    for (const StripKind& kind : kStrips) {
        for (const qreal dpr : {1.0, 2.0}) {
            const QPixmap strip = kind.strip(dpr);
            EXPECT_EQ(strip.size(), QSize(kind.width * kind.count, kind.height) * dpr) << kind.name;
            EXPECT_EQ(strip.deviceIndependentSize(), QSizeF(kind.width * kind.count, kind.height))
                << kind.name;
            EXPECT_EQ(strip.devicePixelRatio(), dpr) << kind.name;
            EXPECT_TRUE(strip.hasAlphaChannel()) << kind.name;
            const QPixmap one = kind.cell(kind.count - 1, dpr);
            EXPECT_EQ(one.size(), QSize(kind.width, kind.height) * dpr) << kind.name;
            EXPECT_EQ(one.deviceIndependentSize(), QSizeF(kind.width, kind.height)) << kind.name;
        }
        EXPECT_TRUE(kind.cell(-1, 1).isNull()) << kind.name;
        EXPECT_TRUE(kind.cell(kind.count, 1).isNull()) << kind.name;
    }
    const QPixmap warning = WarningImage(2);
    EXPECT_EQ(warning.size(), QSize(64, 64));
    EXPECT_EQ(warning.deviceIndependentSize(), QSizeF(kWarningSize, kWarningSize));
}

TEST(Resources, EveryImage_IsInkedDistinctAndInsideItsCell)
{
    for (const StripKind& kind : kStrips) {
        for (const qreal dpr : {1.0, 2.0}) {
            const QImage strip = Argb(kind.strip(dpr));
            QList<QImage> cells;
            for (int i = 0; i < kind.count; ++i) {
                const QImage cell = Argb(kind.cell(i, dpr));
                // A background dot at least; most images hold far more.
                EXPECT_GT(InkedPixels(cell), 30 * dpr * dpr) << kind.name << " " << i;
                // One logical pixel all round stays clear, so neighbours never touch.
                EXPECT_EQ(InkInFrame(cell, int(dpr)), 0) << kind.name << " " << i << " at " << dpr;
                // The strip's cell is the same image.
                const QRect area(int(i * kind.width * dpr), 0, cell.width(), cell.height());
                EXPECT_TRUE(strip.copy(area) == cell) << kind.name << " " << i << " at " << dpr;
                for (qsizetype j = 0; j < cells.size(); ++j)
                    EXPECT_FALSE(cells.at(j) == cell) << kind.name << " " << j << " and " << i;
                cells.append(cell);
            }
        }
    }
    const QImage warning = Argb(WarningImage(1));
    EXPECT_GT(InkedPixels(warning), 200);
    EXPECT_EQ(InkInFrame(warning, 1), 0);
}

TEST(Resources, BrandLogos_AreTheirMakersColours)
{
    // Each maker's logo is set in its own colour: the most common opaque
    // colour differs between every two logos.
    QList<QRgb> dominant;
    for (int i = 0; i < kBrandCount; ++i) {
        const QImage logo = Argb(BrandLogo(i, 2));
        QHash<QRgb, int> counts;
        for (int y = 0; y < logo.height(); ++y)
            for (int x = 0; x < logo.width(); ++x)
                if (qAlpha(logo.pixel(x, y)) == 255)
                    ++counts[logo.pixel(x, y)];
        ASSERT_FALSE(counts.isEmpty()) << i;
        QRgb best = counts.begin().key();
        for (auto it = counts.begin(); it != counts.end(); ++it)
            if (it.value() > counts.value(best))
                best = it.key();
        EXPECT_FALSE(dominant.contains(best)) << "logo " << i;
        dominant.append(best);
    }
}

TEST(Resources, ProgramIcon_HasEverySize)
{
    const QIcon icon = ProgramIcon();
    ASSERT_FALSE(icon.isNull());
    QList<QSize> expected;
    for (const int size : kProgramIconSizes)
        expected.append(QSize(size, size));
    EXPECT_EQ(icon.availableSizes(), expected);
    for (const int size : kProgramIconSizes) {
        const QImage image = Argb(icon.pixmap(QSize(size, size), 1.0));
        EXPECT_EQ(image.size(), QSize(size, size));
        // Mostly opaque: the rounded square fills the icon but for its corners.
        EXPECT_GT(InkedPixels(image), size * size * 8 / 10) << size;
        EXPECT_LT(InkedPixels(image), size * size) << size;
    }
}

// Not a check: writes every image into one picture to look at: the strips at
// ratio 2 on white and at ratio 1 enlarged three times on grey, the warning
// image and the program icon at its sizes.
TEST(Resources, Preview_IsWrittenWhenAsked)
{
    const QString path = qEnvironmentVariable("TOVARINTH_PREVIEW_PNG");
    if (path.isEmpty())
        GTEST_SKIP() << "TOVARINTH_PREVIEW_PNG is not set";
    QImage sheet(kBrandWidth * kBrandCount * 2 + 40, 1000, QImage::Format_ARGB32);
    sheet.fill(Qt::white);
    QPainter painter(&sheet);
    const auto put = [&painter](int x, int y, const QPixmap& pixmap, int zoom = 1) {
        painter.drawPixmap(QRect(QPoint(x, y), pixmap.size() * zoom), pixmap);
        return y + pixmap.height() * zoom + 12;
    };
    int y = 10;
    for (const StripKind& kind : kStrips)
        y = put(20, y, kind.strip(2));
    put(20, y, WarningImage(2));
    int x = 100;
    for (const int size : kProgramIconSizes) {
        put(x, y, ProgramIcon().pixmap(size, size));
        x += size + 12;
    }
    y += 270;
    painter.fillRect(QRect(0, y - 10, sheet.width(), sheet.height()), QColor(0xF3, 0xF3, 0xF3));
    y = put(20, y, BrandStrip(1).copy(0, 0, kBrandWidth * 9, kBrandHeight), 3);
    y = put(20, y, BrandStrip(1).copy(kBrandWidth * 9, 0, kBrandWidth * 5, kBrandHeight), 3);
    y = put(20, y, CamStrip(1), 3);
    put(20, y, StatusStrip(1), 3);
    x = put(400, y, WarningImage(1), 3);
    x = 520;
    for (const int size : {16, 24, 32}) {
        put(x, y, ProgramIcon().pixmap(size, size), 4);
        x += size * 4 + 12;
    }
    painter.end();
    EXPECT_TRUE(sheet.save(path, "PNG")) << path.toStdString();
}

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
