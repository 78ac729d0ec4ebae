#include "app/shared/meter_widget.h"

#include <QEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>

#include <cmath>

#include "app/shared/frame_clock.h"

namespace {

// The meter scale spans 72 dB; the gradient turns orange at -12 dB and -6 dB.
constexpr double kScaleDb = 72.0;
constexpr double kMinus12Db = 0.8333333333333334;
constexpr double kMinus6Db = 0.9166666666666666;

struct GradientStop {
    double at;
    const char* vertical;
    const char* horizontal;
};
const GradientStop kGradientStops[] = {
    {0, "#0c2", "#0c2"},          {0.5, "#3d0", "#2e1"},       {0.75, "#ee0", "#ee0"},
    {kMinus12Db, "#df0", "#df0"}, {kMinus6Db, "#ea0", "#ea0"}, {0.92, "#f00", "#f00"},
};

const char* stopColour(const GradientStop& stop, Qt::Orientation orientation) {
    return orientation == Qt::Horizontal ? stop.horizontal : stop.vertical;
}

// A stop's place as the style sheet writes it (six significant digits), so that both gradients
// are the same to the pixel.
QString stopText(double at) {
    return QString::number(at, 'g', 6);
}

QString gradientSheet(Qt::Orientation orientation) {
    QString sheet = QStringLiteral("background: qlineargradient( %1")
                        .arg(orientation == Qt::Horizontal ? QLatin1String("x1:0 y2:0, x2:1 y1:0")
                                                           : QLatin1String("x1:0 y2:0, x2:0 y1:1"));
    for (const GradientStop& stop : kGradientStops)
        sheet += QStringLiteral(", stop:%1 %2").arg(stopText(stop.at), QLatin1String(stopColour(stop, orientation)));
    return sheet + QStringLiteral(");");
}

}  // namespace

const QColor kMeterUnlit(64, 64, 64);
const QColor kMeterMark(100, 170, 255);
const QColor kMeterStale(150, 150, 150);

QBrush meterAwaitingHatch() {
    return QBrush(QColor(112, 112, 112), Qt::BDiagPattern);
}

QLinearGradient meterGradient(Qt::Orientation orientation) {
    // Vertical: from the bottom edge (stop 0) to the top.
    QLinearGradient gradient =
        orientation == Qt::Horizontal ? QLinearGradient(0, 0, 1, 0) : QLinearGradient(0, 1, 0, 0);
    gradient.setCoordinateMode(QGradient::ObjectBoundingMode);
    for (const GradientStop& stop : kGradientStops)
        gradient.setColorAt(stopText(stop.at).toDouble(), QColor(stopColour(stop, orientation)));
    return gradient;
}

double levelToFraction(float db) {
    const double x = db;
    if (x >= 0.0) return 1.0;
    if (!(x > -kScaleDb)) return 0.0;  // NaN too
    return (x + kScaleDb) / kScaleDb;
}

double rangeToFraction(float value, int full, int empty) {
    double v = value;
    double lo = empty;
    double hi = full;
    if (empty > full) {
        v = -v;
        lo = -lo;
        hi = -hi;
    }
    if (hi == lo) return 1.0;
    const double fraction = (v - lo) / (hi - lo);
    if (!(fraction > 0.0)) return 0.0;
    return fraction < 1.0 ? fraction : 1.0;
}

double dbToGain(float x) {
    return std::pow(10.0, static_cast<double>(x) / 80.0);
}

MeterWidget::MeterWidget(QWidget* parent) : QWidget(parent) {
    // Every pixel is painted: the cached gradient, then the grey cover.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setStyleSheet(gradientSheet(Qt::Vertical));
}

MeterWidget::~MeterWidget() = default;

void MeterWidget::setGradient() {
    horizontal_ = true;
    setStyleSheet(gradientSheet(Qt::Horizontal));
}

void MeterWidget::setLevels(float level, float secondLevel, bool hasSecondLevel) {
    const LevelBar::Extent before = extent();
    bar_.setLevels(level, secondLevel, hasSecondLevel);
    // A bar out of sight keeps its level and shows it when it is next painted.
    if (extent() != before && !isAwaitingLevel_ && FrameClock::isInSight(*this)) update();
}

void MeterWidget::setStale(bool isStale) {
    if (isStale_ == isStale) return;
    isStale_ = isStale;
    update();
}

void MeterWidget::setAwaitingLevel(bool isAwaiting) {
    if (isAwaitingLevel_ == isAwaiting) return;
    isAwaitingLevel_ = isAwaiting;
    update();
}

LevelBar::Extent MeterWidget::extent() const {
    return bar_.extent(horizontal_ ? width() : height(), horizontal_);
}

const QPixmap& MeterWidget::background() {
    const qreal ratio = devicePixelRatioF();
    if (background_.isNull() || background_.size() != size() * ratio) {
        background_ = QPixmap(size() * ratio);
        background_.setDevicePixelRatio(ratio);
        background_.fill(palette().color(QPalette::Window));
        QPainter painter(&background_);
        QStyleOption option;
        option.initFrom(this);
        style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
    }
    return background_;
}

void MeterWidget::paintEvent(QPaintEvent*) {
    if (width() <= 0 || height() <= 0) return;
    QPainter painter(this);
    if (isAwaitingLevel_) {
        painter.fillRect(rect(), kMeterUnlit);
        painter.fillRect(rect(), meterAwaitingHatch());
        return;
    }
    if (isStale_) {
        painter.fillRect(rect(), kMeterStale);
    } else {
        painter.drawPixmap(0, 0, background());
    }
    const LevelBar::Extent shown = extent();
    constexpr int kMarkThickness = LevelBar::kMarkThickness;
    if (horizontal_) {
        painter.fillRect(width() - shown.covered, 0, shown.covered, height(), kMeterUnlit);
        if (shown.hasMark) painter.fillRect(shown.markStart, 0, kMarkThickness, height(), kMeterMark);
    } else {
        painter.fillRect(0, 0, width(), shown.covered, kMeterUnlit);
        if (shown.hasMark) painter.fillRect(0, shown.markStart, width(), kMarkThickness, kMeterMark);
    }
}

void MeterWidget::resizeEvent(QResizeEvent*) {
    emit resized();
}

void MeterWidget::changeEvent(QEvent* event) {
    // A new style sheet or palette: the gradient is rendered again at the next paint.
    if (event->type() == QEvent::StyleChange || event->type() == QEvent::PaletteChange) background_ = QPixmap();
    QWidget::changeEvent(event);
}
