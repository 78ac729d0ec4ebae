#pragma once

#include <QObject>

class QEvent;
class QWidget;

// Keeps the arrow keys of the dock's buttons and check boxes inside the dock. Qt moves the focus
// on to the next widget of the window's focus chain when an arrow key is pressed on a button, and
// past the dock's last widget that is the tile grid, where the next arrow key makes another codec
// the dock's: an operator stepping through a page with the arrows would find the dock showing
// another codec. Here an arrow key steps through the dock's own widgets, round from the last to the
// first; Tab still leaves the dock. Buttons of a group keep their own arrow keys.
//
// Watches the application's key presses (a page may make its buttons later, and a button keeps
// its arrow keys from its parents), and takes only those of a button below the dock.
// GUI thread only.
class ArrowKeysStayInDock : public QObject {
    Q_OBJECT

public:
    // From now on, for the widgets below `dock`; `dock` owns the filter.
    explicit ArrowKeysStayInDock(QWidget* dock);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The widget that Tab (`isForward`) or Shift+Tab would reach from `from` if the dock were the
    // whole window; `from` when there is no other.
    QWidget* neighbourInDock(QWidget* from, bool isForward) const;

    QWidget* dock_;  // our parent
};
