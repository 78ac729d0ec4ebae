// main() for suites that build widgets: they need a QApplication, with the wheel rule the
// program's application object installs. They always run on the "offscreen" platform (ctest sets
// it; it is the default here too, so that listing the tests at build time needs no display either).
#include <gtest/gtest.h>

#include <QApplication>
#include <QtGlobal>

#include "dialogs/wheel_needs_focus.h"

// Qt 5.15's offscreen platform never frees the screen objects it makes while the application object
// starts up. Under LeakSanitizer they are suppressed by the plugin's module, which the fast unwinder
// reaches at once: nothing of ours is allocated inside the plugin. (Matching a Qt function instead
// needs full stacks on every allocation, which made the widget suites four times slower.)
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libqoffscreen.so\n";
}

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    new WheelNeedsFocus(application);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
