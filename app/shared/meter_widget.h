#pragma once

#include <QBrush>
#include <QLinearGradient>
#include <QPixmap>
#include <QWidget>

#include "app/shared/level_bar.h"

// One audio level bar. It is given fractions between 0 and 1, lit from the bottom (vertical) or
// from the left (horizontal), and an optional second mark; it knows nothing of decibels.
//
// The colours come from the style sheet: a green-yellow-red gradient fills the whole widget and
// painting covers the unlit part with dark grey. The bar is opaque and keeps the rendered gradient
// per size, so a level change costs two rectangle fills; a level that changes no pixel, or a bar
// that is out of sight, asks for no repaint at all (a fleet of meters reports fifteen times a second).
//
// Threads: GUI thread only.
class MeterWidget : public QWidget {
    Q_OBJECT

public:
    explicit MeterWidget(QWidget* parent = nullptr);
    ~MeterWidget() override;

    // Makes the bar horizontal (lit from the left), with the horizontal gradient. There is no way
    // back: a bar is built for one orientation.
    void setGradient();

    // Shows `level` and, when `hasSecondLevel` is set, the mark at `secondLevel`. Values outside
    // 0..1 (NaN included) are drawn as the nearest end, NaN as empty; they are kept as given.
    void setLevels(float level, float secondLevel, bool hasSecondLevel);

    // Draws the lit part grey while the levels shown stopped coming (IPCObject::areLevelsStale).
    void setStale(bool isStale);
    bool isStale() const { return isStale_; }

    // Shows the bar hatched, in place of its level, while its meter waits for its first level:
    // an empty bar would read as silence.
    void setAwaitingLevel(bool isAwaiting);
    bool isAwaitingLevel() const { return isAwaitingLevel_; }

    float level() const { return bar_.level(); }
    float secondLevel() const { return bar_.secondLevel(); }
    bool hasSecondLevel() const { return bar_.hasSecondLevel(); }

signals:
    void resized();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    LevelBar::Extent extent() const;
    const QPixmap& background();

    LevelBar bar_;
    bool horizontal_ = false;
    bool isStale_ = false;
    bool isAwaitingLevel_ = false;
    QPixmap background_;  // the style sheet's gradient at the current size; null when stale
};

// Every level bar's colours: the cover of its unlit part and its second mark.
extern const QColor kMeterUnlit;
extern const QColor kMeterMark;
// The lit part of a bar whose levels stopped coming, in place of the gradient.
extern const QColor kMeterStale;
// What covers a bar, over kMeterUnlit, before its meter's first level: hatching.
QBrush meterAwaitingHatch();
// The lit colours from green through yellow to red, along a bar lit from the left (horizontal) or
// from the bottom, relative to the rectangle it fills: the same gradient as the bar's style sheet.
QLinearGradient meterGradient(Qt::Orientation orientation);

// The meter scale: dB to the lit fraction of a bar. 0 dB and above is 1, -72 dB and below (and NaN)
// 0, linear between.
double levelToFraction(float db);
// The place of `value` between `empty` and `full`, held to 0..1; equal bounds give 1.
double rangeToFraction(float value, int full, int empty);
// 10 to the power x / 80.
double dbToGain(float x);
