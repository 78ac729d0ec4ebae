// The printers of qt_printers.h, seen here as in every suite's unit: without an include.
#include <gtest/gtest.h>

#include <QString>
#include <QStringList>

namespace {

TEST(QtPrinters, AFailedExpectationShowsTheText) {
    const struct {
        QString text;
        const char* shown;
    } cases[] = {
        {QStringLiteral("Studio 1"), R"("Studio 1")"},
        {QString::fromUtf8("St\u00f6rung \"A\" \\ \u2026"), "\"St\u00f6rung \\\"A\\\" \\\\ \u2026\""},
        {QString::fromUtf8("a\nb\u200b\U0001F600"),
         "\"a\\u{A}b\\u{200B}\U0001F600\""},  // a line end, an invisible space
    };
    for (const auto& c : cases) EXPECT_EQ(testing::PrintToString(c.text), c.shown);
    EXPECT_EQ(testing::PrintToString(QStringList{QStringLiteral("a"), QStringLiteral("b")}), R"({ "a", "b" })");
    EXPECT_EQ(testing::PrintToString(QStringList()), "{}");
}

}  // namespace
