#pragma once

#include <QObject>

class QEvent;
class QWidget;

// The spin boxes, combo boxes and sliders of an option editor take the wheel only while they hold
// the focus (a click or Tab gives it, never the wheel). An operator who scrolls the editor's page
// with the wheel passes over them, and a value nobody clicked must not change on the way: the
// wheel goes on to the page below them, which scrolls.
// GUI thread only.
class WheelNeedsFocus : public QObject {
    Q_OBJECT

public:
    // Covers the spin boxes, combo boxes and sliders below `editor` now; `editor` owns the filter.
    explicit WheelNeedsFocus(QWidget* editor);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};
