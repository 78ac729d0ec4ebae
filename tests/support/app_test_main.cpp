// main() for suites of the program's own windows: they need the program's application object (its
// event delivery is part of what they test) and run on the "offscreen" platform.
#include <gtest/gtest.h>

#include <QtGlobal>

#include "app/shell/my_q_application.h"
#include "dialogs/message_box.h"

// Qt 5.15's offscreen platform never frees the screen objects it makes while the application object
// starts up. Under LeakSanitizer they are suppressed by the plugin's module, which the fast unwinder
// reaches at once: nothing of ours is allocated inside the plugin. (Matching a Qt function instead
// needs full stacks on every allocation, which made the widget suites four times slower.)
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libqoffscreen.so\n";
}

namespace {

// A message box nobody answers would wait forever on the offscreen platform. Each test starts with
// every box failing the test instead; a test that expects boxes answers them with a recorder.
class UnexpectedBoxesFail : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override {
        MessageBox::setHandler([](const MessageBox::Request& request) {
            ADD_FAILURE() << "unexpected message box \"" << request.title.toStdString()
                          << "\": " << request.text.toStdString();
            return QMessageBox::Ok;
        });
    }
    void OnTestEnd(const ::testing::TestInfo&) override { MessageBox::setHandler({}); }
};

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    MyQApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new UnexpectedBoxesFail);
    return RUN_ALL_TESTS();
}
