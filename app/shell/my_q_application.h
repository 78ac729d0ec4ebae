#pragma once

#include <QApplication>

#include "scheduler/scheduler.h"

// The application object. Besides QApplication it holds the program's one Scheduler, which lives
// as long as the application does, and the rule that the wheel changes only a focused field
// (WheelNeedsFocus) in every window. It is the last net under event delivery: an exception that a
// slot or an event handler lets escape is written as a critical record, the event counts as not
// handled, and the program goes on.
class MyQApplication : public QApplication {
    Q_OBJECT

public:
    MyQApplication(int& argc, char** argv);
    ~MyQApplication() override;

    bool notify(QObject* receiver, QEvent* event) override;

    // Scheduled connections. Its timer runs from construction; the start-up points it at
    // schedule.xml and the instance registry.
    Scheduler& scheduler() { return jobScheduler; }

private:
    Scheduler jobScheduler;
};

// The application object, while it exists; null otherwise.
MyQApplication* myApplication();
