#include "tests/support/message_box_recorder.h"

#include <QApplication>
#include <QWidget>

MessageBoxRecorder::MessageBoxRecorder(QMessageBox::StandardButton answer_to_questions) {
    MessageBox::setHandler([this, answer_to_questions](const MessageBox::Request& request) {
        boxes_.push_back(request);
        QWidget* focused = QApplication::focusWidget();
        if (is_taking_focus_ && focused) focused->clearFocus();
        if (request.buttons.testFlag(QMessageBox::Yes)) {
            if (while_asking_) while_asking_();
            return answer_to_questions;
        }
        return QMessageBox::Ok;
    });
}

MessageBoxRecorder::~MessageBoxRecorder() {
    MessageBox::setHandler({});
}

int MessageBoxRecorder::count(const QString& title) const {
    int found = 0;
    for (const auto& box : boxes_) found += box.title == title ? 1 : 0;
    return found;
}

QString MessageBoxRecorder::lastText(const QString& title) const {
    for (auto box = boxes_.rbegin(); box != boxes_.rend(); ++box) {
        if (box->title == title) return box->text;
    }
    return {};
}

QStringList MessageBoxRecorder::lines(const QString& title) const {
    QStringList found;
    for (const auto& box : boxes_) {
        if (box.title == title) found << box.text.split('\n');
    }
    return found;
}
