#pragma once

#include <QMessageBox>
#include <QString>

#include <functional>

class QWidget;

// Every message box of the program opens through here, so that a test can answer it instead of a
// person: while a handler is installed nothing is shown and the handler's answer is returned.
// GUI thread only.
class MessageBox {
public:
    struct Request {
        QMessageBox::Icon icon;
        QString title;
        QString text;
        QMessageBox::StandardButtons buttons;
        // What Enter presses; NoButton gives Yes where it is offered.
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    };
    using Handler = std::function<QMessageBox::StandardButton(const Request&)>;

    static void information(QWidget* parent, const QString& title, const QString& text);
    static void warning(QWidget* parent, const QString& title, const QString& text);
    static void critical(QWidget* parent, const QString& title, const QString& text);
    // Yes and No, Yes the default; true for Yes.
    static bool question(QWidget* parent, const QString& title, const QString& text);
    // Opens the box (or asks the handler) and returns the button pressed.
    static QMessageBox::StandardButton show(QWidget* parent, const Request& request);
    // Opens the box without waiting for it: not modal, deleted once closed, its text free to change
    // while it is open. With a handler installed the handler answers it at once, and null is
    // returned.
    static QMessageBox* open(QWidget* parent, const Request& request);

    // Answers every box with `handler` instead of showing it (tests); an empty one shows them again.
    static void setHandler(Handler handler);

    // Start-up: while held, a box that only tells (its one button OK) is kept, in order, instead
    // of opened, and show() returns OK at once, so that no box stops the program before its window
    // is shown and its sessions run. A box that asks opens at once: its caller needs the answer.
    // Held false again, the kept notices are dropped (the program ends before it could show them).
    static void holdNotices(bool is_held);
    // Stops holding and opens the kept notices over `parent` without modality, each once the one
    // before it is closed (through open(), so a handler answers them there).
    static void showHeldNotices(QWidget* parent);

private:
    static QMessageBox* make_box(QWidget* parent, const Request& request);
    static void showNextHeldNotice(QWidget* parent);
};
