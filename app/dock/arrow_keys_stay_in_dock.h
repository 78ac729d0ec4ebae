#pragma once

#include <QObject>

class QEvent;
class QWidget;

// Keeps the arrow keys of the dock's buttons and check boxes on their page. Qt moves the focus on
// to the next widget of the window's focus chain when an arrow key is pressed on a button: past a
// page's last widget that is the tab bar, where the next arrow key turns the page, and past the
// dock's last widget the tile grid, where it makes another codec the dock's. An operator stepping
// through a page with the arrows would find another page, or another codec. Here an arrow key steps
// through the widgets of the button's page (of the dock, for one on no page), round from the last to
// the first, and never onto a tab bar; Tab still leaves. Buttons of a group keep their own arrow
// keys.
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
    // The widget that Tab (`isForward`) or Shift+Tab would reach from `from` if `scope` were the
    // whole window and had no tab bar; `from` when there is no other.
    static QWidget* neighbourWithin(QWidget* scope, QWidget* from, bool isForward);
    // The innermost page of a tab widget below the dock that holds `widget`; the dock for none.
    QWidget* pageOf(QWidget* widget) const;

    QWidget* dock_;  // our parent
};
