#include "resources/Resources.h"

#include <QGuiApplication>
#include <QImage>
#include <functional>
#include <gtest/gtest.h>

// The windows cut the strips into cells by index and size: every cell must lie
// where they cut, be drawn (not blank), and differ from the others.
TEST(Resources, StripsHoldTheirCellsAtEveryRatio)
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
            QImage blank(size * dpr, all.format());
            blank.fill(Qt::transparent);
            QList<QImage> seen{blank};
            for (int i = 0; i < count; ++i) {
                const QImage image = cell(i, dpr).toImage().convertToFormat(all.format());
                EXPECT_EQ(image.size(), size * dpr) << name << " " << i;
                EXPECT_TRUE(all.copy(QRect(QPoint(int(i * size.width() * dpr), 0), image.size())) ==
                            image)
                    << name << " " << i << " at " << dpr;
                EXPECT_FALSE(seen.contains(image)) << "blank or repeated: " << name << " " << i;
                seen.append(image);
            }
        }
        EXPECT_TRUE(cell(-1, 1).isNull() && cell(count, 1).isNull()) << name;
    }
    EXPECT_EQ(ProgramIcon().availableSizes().size(), qsizetype(std::size(kProgramIconSizes)));
    EXPECT_EQ(WarningImage(2).deviceIndependentSize(), QSizeF(kWarningSize, kWarningSize));
}

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
