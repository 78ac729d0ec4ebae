#include "app/shell/my_q_application.h"

#include <QDebug>

#include <exception>

#include "dialogs/wheel_needs_focus.h"

MyQApplication::MyQApplication(int& argc, char** argv) : QApplication(argc, argv) {
    new WheelNeedsFocus(*this);
}

MyQApplication::~MyQApplication() = default;

bool MyQApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {  // QException and the library's Exception included
        qCritical("%s", error.what());
    } catch (...) {
        qCritical("An exception was raised.");
    }
    return false;
}

MyQApplication* myApplication() {
    return qobject_cast<MyQApplication*>(QCoreApplication::instance());
}
