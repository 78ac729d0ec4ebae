#pragma once

#include <QObject>

class QApplication;
class QEvent;

// The program's spin boxes (date and time edits among them), combo boxes and sliders take the wheel
// only while they hold the focus (a click or Tab gives it, never the wheel). An operator who
// scrolls a page or a dialog with the wheel passes over them, and a value nobody clicked must not
// change on the way: the wheel goes on to what lies below them, which scrolls. Scroll bars keep
// the wheel.
//
// One rule for the whole program: it watches the application's events, so that it covers every
// window and dialog, those made later included, without a list of pages to keep.
// GUI thread only.
class WheelNeedsFocus : public QObject {
    Q_OBJECT

public:
    // From now on, for every widget of `application`, which owns the rule.
    explicit WheelNeedsFocus(QApplication& application);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};
