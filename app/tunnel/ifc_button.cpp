#include "app/tunnel/ifc_button.h"

#include <QLayout>
#include <QPalette>

#include "ipc/base/logger.h"

namespace {
constexpr int kLogCategory = 0;
constexpr int kDebug = 6;
}  // namespace

IFCButton::IFCButton(QWidget* parent, int index_, const QString& uid_, const QString& first_, const QString& second_)
    : QPushButton(parent),
      index(index_),
      uid(uid_),
      first(first_),
      second(second_),
      // The utilization graph's series colours, so a connection has the same colour in both places.
      colours({QColor(204, 0, 204), QColor(0, 0, 255), QColor(0, 255, 0), QColor(204, 204, 0), QColor(204, 119, 0),
               QColor(221, 0, 0)}) {
    setLabels(first_, second_, true);
    setColor(index_);
    QPalette window = palette();
    window.setColor(QPalette::Window, QColor(Qt::red));
    setPalette(window);
    setFlat(true);
    setEnabled(false);
}

IFCButton::~IFCButton() = default;

QObject* IFCButton::create(QObject* container, int index, const QString& uid, const QString& first,
                           const QString& second, bool inLayout) {
    auto* parent = qobject_cast<QWidget*>(container);
    if (!parent) return nullptr;
    auto* button = new IFCButton(parent, index, uid, first, second);
    if (inLayout && parent->layout()) parent->layout()->addWidget(button);
    return button;
}

void IFCButton::setLabels(const QString& first_, const QString& second_, bool force) {
    ipc_logger().log_cat(kLogCategory, kDebug, "*** ifcbutton setlabels %s %s %d", first_.toUtf8().constData(),
                         second_.toUtf8().constData(), force ? 1 : 0);
    if (!force && first_ == first && second_ == second) return;
    first = first_;
    second = second_;
    // A codec's names are shown as they are: a single "&" would make a shortcut of the next letter.
    const auto literal = [](QString text) { return text.replace(QLatin1Char('&'), QLatin1String("&&")); };
    if (!first.isEmpty() && !second.isEmpty())
        setText(QStringLiteral("(%1) %2>%3").arg(index).arg(literal(first), literal(second)));
    else
        setText(QStringLiteral("Connection %1").arg(literal(uid)));
}

void IFCButton::setColor(int index_) {
    const QColor colour = index_ >= 0 && index_ < colours.size() ? colours.at(index_) : QColor(0, 0, 0);
    // A whole new palette: the text keeps the colour in every group, the disabled one included.
    QPalette text;
    text.setColor(QPalette::ButtonText, colour);
    setPalette(text);
    if (QWidget* parent = parentWidget()) move(x(), parent->height() - (index_ + 1) * (height() + kSpacing));
    index = index_;
}

void IFCButton::setShown(bool shown) {
    setVisible(shown);
}
