#include "app/shell/application_main.h"

#include <QDebug>
#include <QIcon>

#include <clocale>
#include <cstdio>
#include <exception>
#include <memory>
#include <system_error>

#include "app/dock/peer_state_icons.h"
#include "app/shell/config_paths.h"
#include "app/shell/instance_registry.h"
#include "app/shell/main_window.h"
#include "app/shell/my_q_application.h"
#include "app/shell/shutdown_signal_notifier.h"
#include "dialogs/kestrane_resources.h"
#include "dialogs/message_box.h"
#include "platform/shutdown_signals.h"
#include "sessions/ipc_object.h"
#include "sessions/iq_common_pooled_app.h"
#include "sessions/session_meta_types.h"

namespace {

constexpr int kWorkerCount = 4;

// Blocks the shutdown signals before any thread exists; null (after a note) when that fails, and
// the signals then end the process the default way.
std::unique_ptr<platform::ShutdownSignals> blockShutdownSignals() {
    try {
        return std::make_unique<platform::ShutdownSignals>();
    } catch (const std::system_error& error) {
        std::fprintf(stderr, "kestrane: shutdown signals are not caught: %s\n", error.what());
        return nullptr;
    }
}

void ensureDataFolder() {
    if (makeConfigDir()) return;
    MessageBox::critical(nullptr, QObject::tr("Can't create file directory"),
                         QObject::tr("Kestrane is unable to create the folder ") + configDirPath() +
                             QObject::tr(" . Try running the program as an administrator, or adjusting "
                                         "security settings on this computer."));
}

// The window's life from construction to the end of the event loop; the caller tears down.
int runWindow(MyQApplication& application, IQCommonPooledApp& pool, std::unique_ptr<MainWindow>& window,
              const StartupObserver& observer, const ShutdownSignalNotifier* shutdown) {
    Scheduler& scheduler = application.scheduler();
    scheduler.setFilePath(scheduleFilePath());
    scheduler.setSessions(registeredSessions());
    window = std::make_unique<MainWindow>();
    window->initialize();
    // After the configured codecs exist: a job is kept only when its codec is among them.
    scheduler.load();
    window->handleAllEnables();
    // A box that asked above ran a loop of its own, which a signal ends alone. The schedule was
    // loaded all the same: the window saves it when it goes.
    if (shutdown && shutdown->isShutdownRequested()) return 0;
    if (observer.windowInitialized) observer.windowInitialized(*window);
    window->show();
    pool.start_managers();
    // What start-up had to tell (a damaged file kept aside, a changed time zone) waits for the
    // operator without stopping the sessions or the scheduler's passes.
    MessageBox::showHeldNotices(window.get());
    return application.exec();
}

}  // namespace

int applicationMain(int argc, char** argv, const StartupObserver& observer) {
    const std::unique_ptr<platform::ShutdownSignals> shutdown_signals = blockShutdownSignals();
    // Every widget draws with Qt's raster engine. Without this the X11 platform loads the OpenGL
    // stack at start-up anyway (with Mesa's software renderer some 50 MB resident) and never uses
    // it. An operator's own setting wins.
    if (qEnvironmentVariableIsEmpty("QT_XCB_GL_INTEGRATION")) qputenv("QT_XCB_GL_INTEGRATION", "none");
    MyQApplication application(argc, argv);
    // QApplication took the environment's locale; numbers in files and on the wire must not.
    std::setlocale(LC_NUMERIC, "C");
    std::unique_ptr<ShutdownSignalNotifier> notifier;
    if (shutdown_signals) notifier = std::make_unique<ShutdownSignalNotifier>(*shutdown_signals);
    return runApplication(application, observer, notifier.get());
}

int runApplication(MyQApplication& application, const StartupObserver& observer,
                   const ShutdownSignalNotifier* shutdown) {
    application.setStyleSheet(QStringLiteral("* {font-family: \"Arial\"}"));
    // Every window and box without an icon of its own shows the program's.
    initKestraneResources();
    application.setWindowIcon(QIcon(QStringLiteral(":/icons/quelda_logo.svg")));
    auto pool = std::make_unique<IQCommonPooledApp>(kWorkerCount, nullptr);
    IPCObject::setSessionPool(pool.get());
    register_session_meta_types();
    createPeerStateIcons();
    // No box opens before the window is shown and the sessions run: their notices wait till then.
    MessageBox::holdNotices(true);
    ensureDataFolder();

    int result = 1;
    std::unique_ptr<MainWindow> window;
    try {
        result = runWindow(application, *pool, window, observer, shutdown);
    } catch (const std::exception& error) {
        qCritical().noquote() << "Kestrane stopped on an error:" << error.what();
    } catch (...) {
        qCritical() << "Kestrane stopped on an error.";
    }

    // A start-up that ended early drops what it had to tell; what the teardown tells shows.
    MessageBox::holdNotices(false);
    // No loop may touch a session while the window saves and the sessions end.
    pool->stop_managers();
    window.reset();
    releaseAllInstances();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    IPCObject::setSessionPool(nullptr);
    return result;
}
