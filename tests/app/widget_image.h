#pragma once

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
    return std::to_string(colour.red()) + "," + std::to_string(colour.green()) + "," +
           std::to_string(colour.blue());
}

}  // namespace app_test
