// The printers of qt_printers.h, seen here as in every suite's unit: without an include.
#include <gtest/gtest.h>

#include <QStringList>

TEST(QtPrinters, AFailedExpectationShowsTheText) {
    // Printable characters as they are; a quote, a backslash, a line end and an invisible space not.
    EXPECT_EQ(testing::PrintToString(QString::fromUtf8("St\u00f6rung \"A\" \\\n\u200b")),
              "\"St\u00f6rung \\\"A\\\" \\\\\\u{A}\\u{200B}\"");
    EXPECT_EQ(testing::PrintToString(QStringList{QStringLiteral("a"), QStringLiteral("b")}), R"({ "a", "b" })");
}
