#pragma once

#include <QApplication>

// The application object. Its one addition to QApplication is the last net under event delivery:
// an exception that a slot or an event handler lets escape is written as a critical record, the
// event counts as not handled, and the program goes on.
class MyQApplication : public QApplication {
    Q_OBJECT

public:
    MyQApplication(int& argc, char** argv);
    ~MyQApplication() override;

    bool notify(QObject* receiver, QEvent* event) override;
};

// The application object, while it exists; null otherwise.
MyQApplication* myApplication();
