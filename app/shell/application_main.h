#pragma once

#include <functional>

class MainWindow;
class MyQApplication;
class ShutdownSignalNotifier;

// What a caller of the program's start-up may watch (benchmarks, tests). Nothing is needed for an
// ordinary run.
struct StartupObserver {
    // Called once the window is initialised (configuration read, codecs created), just before it
    // is shown and the workers start.
    std::function<void(MainWindow& window)> windowInitialized;
};

// The whole program, main's body: blocks the shutdown signals, builds the application object,
// runs it (runApplication) and returns the exit code.
int applicationMain(int argc, char** argv, const StartupObserver& observer = {});

// Everything after the application object is built: the session pool, the data folder, the main
// window with the configured codecs, the event loop, and the shutdown in reverse order (workers
// stopped and joined, window destroyed and configuration saved, sessions ended). Returns the event
// loop's exit code, or 1 when start-up or the loop failed with an exception (logged). When
// `shutdown` tells of a shutdown signal during start-up, the loop is not entered and 0 is returned.
int runApplication(MyQApplication& application, const StartupObserver& observer = {},
                   const ShutdownSignalNotifier* shutdown = nullptr);
