#include "dialogs/message_box.h"

#include <utility>

namespace {

MessageBox::Handler& installed_handler() {
    static MessageBox::Handler handler;
    return handler;
}

}  // namespace

void MessageBox::information(QWidget* parent, const QString& title, const QString& text) {
    show(parent, {QMessageBox::Information, title, text, QMessageBox::Ok});
}

void MessageBox::warning(QWidget* parent, const QString& title, const QString& text) {
    show(parent, {QMessageBox::Warning, title, text, QMessageBox::Ok});
}

void MessageBox::critical(QWidget* parent, const QString& title, const QString& text) {
    show(parent, {QMessageBox::Critical, title, text, QMessageBox::Ok});
}

bool MessageBox::question(QWidget* parent, const QString& title, const QString& text) {
    return show(parent, {QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No}) ==
           QMessageBox::Yes;
}

QMessageBox::StandardButton MessageBox::show(QWidget* parent, const Request& request) {
    if (installed_handler()) return installed_handler()(request);
    QMessageBox box(request.icon, request.title, request.text, request.buttons, parent);
    box.setTextFormat(Qt::PlainText);  // titles and texts may quote a codec or a file
    if (request.defaultButton != QMessageBox::NoButton) {
        box.setDefaultButton(request.defaultButton);
    } else if (request.buttons.testFlag(QMessageBox::Yes)) {
        box.setDefaultButton(QMessageBox::Yes);
    }
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

void MessageBox::setHandler(Handler handler) {
    installed_handler() = std::move(handler);
}
