// How text from a codec is shown: names elided with the whole text (capped) in the tool tip, log
// lines cut, both as plain text; texts within the bounds shown exactly as they are.
#include <gtest/gtest.h>

#include <QLabel>
#include <QTextDocument>
#include <QTreeWidgetItem>
#include <QVBoxLayout>

#include "app/shared/codec_text.h"

namespace {

TEST(CodecText, ElidesBeyondTheLengthWithoutSplittingACharacter) {
    const QString clef = QString::fromUtf8("\xF0\x9D\x84\x9E");  // U+1D11E, two UTF-16 units
    const QString cases[][2] = {  // at length 4
        {"abcd", "abcd"}, {"abcde", "abc\u2026"}, {"ab" + clef, "ab" + clef},
        {"ab" + clef + "d", "ab\u2026"}, {"a" + clef + "de", "a" + clef + "\u2026"},
    };
    for (const auto& c : cases) EXPECT_EQ(CodecText::elided(c[0], 4), c[1]) << c[0].toStdString();
    EXPECT_EQ(CodecText::logLine(QString(5000, 'l')).size(), CodecText::kLogLineLength);
}

// A name neither widens its window nor reads as markup.
TEST(CodecText, NamesAreElidedPlainTextWithTheWholeNameInTheToolTip) {
    const QString longName = "<b>" + QString(3000, 'x');
    QWidget window;
    auto* label = new QLabel(&window);
    (new QVBoxLayout(&window))->addWidget(label);
    label->setTextFormat(Qt::RichText);
    CodecText::showName(*label, longName, " (after)");
    EXPECT_EQ(label->textFormat(), Qt::PlainText);
    EXPECT_EQ(label->text(), longName.left(CodecText::kNameLength - 1) + "\u2026 (after)");
    EXPECT_LT(window.minimumSizeHint().width(), 100);
    QTextDocument tip;
    tip.setHtml(label->toolTip());
    EXPECT_EQ(tip.toPlainText(), CodecText::elided(longName, CodecText::kToolTipLength));

    QTreeWidgetItem item;
    CodecText::showName(item, 2, longName);
    EXPECT_EQ(item.text(2) + " (after)", label->text());
    EXPECT_EQ(item.toolTip(2), label->toolTip());
    EXPECT_TRUE(CodecText::nameToolTip("<b>Studio</b>").isEmpty());
}

}  // namespace
