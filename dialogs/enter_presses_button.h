#pragma once

#include <QObject>

class QEvent;
class QWidget;

// Lets Enter and the keypad's Enter press the focused push button below a widget, as Space does:
// a keyboard operator presses Enter. Qt presses a button on Enter only in a dialog; elsewhere the
// button leaves the key to its parents, and this filter, on the widget above them all, takes it
// there, so buttons made later (the tunnel page's) are covered too. Only a focused push button is
// pressed: Enter keeps its own meaning in a spin box or a line edit.
// GUI thread only.
class EnterPressesButton : public QObject {
    Q_OBJECT

public:
    // Watches `root`'s keys from now on; `root` owns the filter.
    explicit EnterPressesButton(QWidget* root);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* root_;  // our parent
};
