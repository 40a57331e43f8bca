#include "resources/Resources.h"

#include <QGuiApplication>
#include <QImage>
#include <functional>
#include <gtest/gtest.h>

// The windows cut the strips into cells by index and size: every cell must lie
// where they cut, at every device pixel ratio.
TEST(Resources, StripsHoldTheirCellsWhereTheWindowsCutThem)
{
    using Cell = std::function<QPixmap(int, qreal)>;
    const std::tuple<const char*, std::function<QPixmap(qreal)>, Cell, int, QSize> kinds[] = {
        {"BRAND", BrandStrip, BrandLogo, kBrandCount, {kBrandWidth, kBrandHeight}},
        {"STATUS", StatusStrip, StatusImage, kStatusCount, {kStatusSize, kStatusSize}},
        {"CAM", CamStrip, CamImage, kCamCount, {kCamSize, kCamSize}}};
    for (const auto& [name, strip, cell, count, size] : kinds) {
        for (const qreal dpr : {1.0, 2.0}) {
            const QImage all = strip(dpr).toImage();
            ASSERT_EQ(all.size(), QSize(size.width() * count, size.height()) * dpr) << name;
            for (int i = 0; i < count; ++i) {
                const QPixmap one = cell(i, dpr);
                EXPECT_EQ(one.deviceIndependentSize(), QSizeF(size)) << name << " " << i;
                const QRect area(QPoint(int(i * size.width() * dpr), 0), one.size());
                EXPECT_TRUE(all.copy(area) == one.toImage().convertToFormat(all.format()))
                    << name << " " << i << " at " << dpr;
            }
        }
        EXPECT_TRUE(cell(-1, 1).isNull() && cell(count, 1).isNull()) << name;
    }
}

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
