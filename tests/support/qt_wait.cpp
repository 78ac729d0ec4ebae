#include "tests/support/qt_wait.h"

#include <QCoreApplication>
#include <QEventLoop>

namespace test_support {

bool wait_processing_events(const std::function<bool()>& condition, std::chrono::milliseconds deadline) {
    const auto give_up = std::chrono::steady_clock::now() + deadline;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= give_up) return condition();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return true;
}

}  // namespace test_support
