#pragma once

#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <QWidget>

#include <string>

namespace app_test {

// The graphers' plot area behind the bars, and the outline of every bar.
const QColor kFrameFill(30, 30, 30);
const QColor kOutline(51, 51, 51);

// The widget as the operator would see it: rendered (with its children) into an image of its size.
inline QImage render(QWidget& widget) {
    QImage image(widget.size(), QImage::Format_ARGB32);
    image.fill(Qt::white);
    widget.render(&image);
    return image;
}

inline QColor pixel(const QImage& image, int x, int y) {
    return QColor(image.pixel(x, y));
}

// "r,g,b", for readable failures.
inline std::string rgb(const QColor& colour) {
    return std::to_string(colour.red()) + "," + std::to_string(colour.green()) + "," + std::to_string(colour.blue());
}

// Whether two images of one size show the same colours; else where the first difference is.
inline ::testing::AssertionResult samePixels(const QImage& shown, const QImage& expected) {
    if (shown.size() != expected.size()) return ::testing::AssertionFailure() << "the sizes differ";
    for (int y = 0; y < expected.height(); ++y) {
        for (int x = 0; x < expected.width(); ++x) {
            if (pixel(shown, x, y) == pixel(expected, x, y)) continue;
            return ::testing::AssertionFailure() << "pixel " << x << "," << y << " is " << rgb(pixel(shown, x, y))
                                                 << ", not " << rgb(pixel(expected, x, y));
        }
    }
    return ::testing::AssertionSuccess();
}

}  // namespace app_test
