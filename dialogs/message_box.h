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

private:
    static QMessageBox* make_box(QWidget* parent, const Request& request);
};
