// The package's PNG icons are made from packaging/quendal.svg; the window draws its icon in code. A menu
// and the window's title bar must show the same picture, at every size the package ships.
#include <gtest/gtest.h>

#include <QImage>
#include <QString>
#include <algorithm>
#include <cstdlib>

#include "app/app_icon.h"

namespace {

// Premultiplied, so that fully transparent pixels compare equal whatever colour they nominally hold.
QImage Premultiplied(const QImage& image) {
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

// Measured between Debian 12's librsvg and Qt: at most 70 and 1.3.
constexpr int kMostNearbyDistance = 96;
constexpr double kMostMeanDistance = 2.5;

int PixelDistance(QRgb p, QRgb q) {
    return std::max({std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                     std::abs(qBlue(p) - qBlue(q)), std::abs(qAlpha(p) - qAlpha(q))});
}

// 0-255, over every channel of every pixel.
double MeanDistance(const QImage& a, const QImage& b) {
    double sum = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) +
                   std::abs(qBlue(p) - qBlue(q)) + std::abs(qAlpha(p) - qAlpha(q));
        }
    }
    return sum / (4.0 * a.width() * a.height());
}

// How far the worst pixel of `a` is from the best match among `b`'s pixels at most one pixel away. Two
// rasterisers antialias an edge differently by up to a pixel; a shape or colour of their own does not
// find its match nearby.
int WorstNearbyDistance(const QImage& a, const QImage& b) {
    int worst = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            int best = 255;
            for (int ny = std::max(0, y - 1); ny <= std::min(b.height() - 1, y + 1); ++ny) {
                for (int nx = std::max(0, x - 1); nx <= std::min(b.width() - 1, x + 1); ++nx) {
                    best = std::min(best, PixelDistance(a.pixel(x, y), b.pixel(nx, ny)));
                }
            }
            worst = std::max(worst, best);
        }
    }
    return worst;
}

TEST(AppIcon, PackagedPngsShowTheIconTheWindowDraws) {
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        SCOPED_TRACE(size);
        const QString path = QString(QUENDAL_BINARY_DIR "/packaging/icons/%1x%1/quendal.png").arg(size);
        const QImage png = Premultiplied(QImage(path));
        ASSERT_FALSE(png.isNull()) << path.toStdString()
                                   << " is missing: rsvg-convert (librsvg2-bin) makes it";
        const QImage drawn = Premultiplied(AppIconPixmap(size).toImage());
        ASSERT_EQ(png.size(), drawn.size());
        EXPECT_LE(WorstNearbyDistance(png, drawn), kMostNearbyDistance);
        EXPECT_LE(WorstNearbyDistance(drawn, png), kMostNearbyDistance);
        EXPECT_LE(MeanDistance(png, drawn), kMostMeanDistance);
    }
}

}  // namespace
