#include "dialogs/message_box.h"

#include <QList>
#include <QPointer>

#include <memory>
#include <utility>

namespace {

MessageBox::Handler& installed_handler() {
    static MessageBox::Handler handler;
    return handler;
}

struct HeldNotices {
    bool is_held = false;
    QList<MessageBox::Request> notices;  // in the order they were raised
};

HeldNotices& held_notices() {
    static HeldNotices held;
    return held;
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
    return show(parent, {QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No}) == QMessageBox::Yes;
}

QMessageBox* MessageBox::make_box(QWidget* parent, const Request& request) {
    auto* box = new QMessageBox(request.icon, request.title, request.text, request.buttons, parent);
    box->setTextFormat(Qt::PlainText);  // titles and texts may quote a codec or a file
    if (request.defaultButton != QMessageBox::NoButton) {
        box->setDefaultButton(request.defaultButton);
    } else if (request.buttons.testFlag(QMessageBox::Yes)) {
        box->setDefaultButton(QMessageBox::Yes);
    }
    return box;
}

QMessageBox::StandardButton MessageBox::show(QWidget* parent, const Request& request) {
    if (held_notices().is_held && request.buttons == QMessageBox::Ok) {
        held_notices().notices.append(request);
        return QMessageBox::Ok;
    }
    if (installed_handler()) return installed_handler()(request);
    const std::unique_ptr<QMessageBox> box(make_box(parent, request));
    return static_cast<QMessageBox::StandardButton>(box->exec());
}

QMessageBox* MessageBox::open(QWidget* parent, const Request& request) {
    if (installed_handler()) {
        installed_handler()(request);
        return nullptr;
    }
    QMessageBox* box = make_box(parent, request);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->show();
    return box;
}

void MessageBox::setHandler(Handler handler) {
    installed_handler() = std::move(handler);
}

void MessageBox::holdNotices(bool is_held) {
    held_notices().is_held = is_held;
    if (!is_held) held_notices().notices.clear();
}

void MessageBox::showHeldNotices(QWidget* parent) {
    held_notices().is_held = false;
    showNextHeldNotice(parent);
}

void MessageBox::showNextHeldNotice(QWidget* parent) {
    while (!held_notices().notices.isEmpty()) {
        QMessageBox* box = open(parent, held_notices().notices.takeFirst());
        if (!box) continue;  // a handler answered it
        // The next once this one is closed: a stack of boxes at once would hide all but the top.
        QObject::connect(box, &QMessageBox::finished, [window = QPointer<QWidget>(parent)] {
            if (window) showNextHeldNotice(window);
        });
        return;
    }
}
