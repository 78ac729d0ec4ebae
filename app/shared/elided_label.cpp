#include "app/shared/elided_label.h"

#include <QPainter>
#include <QStyle>

namespace {

// Room for the start of a name and the ellipsis.
constexpr int kMinimumCharacters = 4;

}  // namespace

ElidedLabel::ElidedLabel(Qt::TextElideMode mode_, QWidget* parent) : QLabel(parent), mode(mode_) {
    setTextFormat(Qt::PlainText);
}

ElidedLabel::ElidedLabel(QWidget* parent) : ElidedLabel(Qt::ElideRight, parent) {}

QSize ElidedLabel::minimumSizeHint() const {
    const QMargins margins = contentsMargins();
    return {fontMetrics().averageCharWidth() * kMinimumCharacters + margins.left() + margins.right(),
            QLabel::minimumSizeHint().height()};
}

void ElidedLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect area = contentsRect();
    const QString shown = fontMetrics().elidedText(text(), mode, area.width());
    style()->drawItemText(&painter, area, QStyle::visualAlignment(layoutDirection(), alignment()), palette(),
                          isEnabled(), shown, foregroundRole());
}
