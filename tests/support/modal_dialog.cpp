#include "tests/support/modal_dialog.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>

#include <utility>

namespace test_support {

void on_next_modal(std::function<void(QDialog*)> act, std::chrono::milliseconds deadline) {
    auto* poll = new QTimer;
    auto* since = new QElapsedTimer;
    since->start();
    QObject::connect(poll, &QTimer::timeout, [poll, since, act = std::move(act), deadline] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        const bool is_overdue = since->elapsed() > deadline.count();
        if (!dialog && !is_overdue) return;
        poll->stop();
        poll->deleteLater();
        delete since;
        if (dialog) act(dialog);
    });
    poll->start(5);
}

}  // namespace test_support
