#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <memory>

#include "app/shell/config_paths.h"
#include "app/shell/instance_registry.h"
#include "app/shell/main_window.h"
#include "app/shell/my_q_application.h"
#include "sessions/ipc_object.h"
#include "sessions/iq_common_pooled_app.h"
#include "tests/support/temporary_data_folder.h"

namespace app_test {

// The program's process-wide objects for one test: a data folder of its own, the pool of four
// workers (not started unless the test starts them), the application's scheduler on that folder
// and, once asked for, the main window. Ends them as the program does: workers stopped, window
// destroyed (it saves), sessions ended; then the scheduler's jobs are dropped for the next test.
class AppFixture : public ::testing::Test {
protected:
    AppFixture() : pool(std::make_unique<IQCommonPooledApp>(4)) { IPCObject::setSessionPool(pool.get()); }

    ~AppFixture() override {
        closeWindow();
        for (const Job& job : scheduler().jobList()) scheduler().removeJob(job.id);
        releaseAllInstances();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        IPCObject::setSessionPool(nullptr);
    }

    // A new main window, initialised from the data folder's configuration file, which is made
    // first as main makes it, and the schedule loaded after it. Alerts go to `alerts` when given.
    MainWindow& openWindow(AlertPlayer* alerts = nullptr) {
        makeConfigDir();
        scheduler().setFilePath(scheduleFilePath());
        scheduler().setSessions(registeredSessions());
        window = std::make_unique<MainWindow>(nullptr, alerts);
        window->initialize();
        scheduler().load();
        return *window;
    }

    static Scheduler& scheduler() { return myApplication()->scheduler(); }

    // The program's shutdown of the window: no loop runs while it saves.
    void closeWindow() {
        pool->stop_managers();
        window.reset();
    }

    test_support::TemporaryDataFolder folder;
    std::unique_ptr<IQCommonPooledApp> pool;
    std::unique_ptr<MainWindow> window;
};

}  // namespace app_test
