#include <gtest/gtest.h>

#include "dialogs/message_box.h"
#include "tests/support/message_box_recorder.h"

TEST(MessageBox, RecorderAnswersQuestionsAndKeepsTexts) {
    MessageBoxRecorder boxes(QMessageBox::No);
    MessageBox::warning(nullptr, "Save Configuration", "disk full");
    EXPECT_FALSE(MessageBox::question(nullptr, "Close", "Sure?"));
    ASSERT_EQ(boxes.boxes().size(), 2u);
    EXPECT_EQ(boxes.boxes()[0].icon, QMessageBox::Warning);
    EXPECT_EQ(boxes.count("Save Configuration"), 1);
    EXPECT_EQ(boxes.lastText("Save Configuration"), "disk full");
    EXPECT_EQ(boxes.lastText("Close"), "Sure?");
}
