// How text from a codec is shown in the views: names cut with the whole text (capped) in the tool
// tip, log lines cut further on, both as plain text; short texts shown exactly as they are.
#include <gtest/gtest.h>

#include <QLabel>
#include <QTextDocument>
#include <QTreeWidgetItem>
#include <QVBoxLayout>

#include "app/shared/codec_text.h"

namespace {

// A name neither widens its window nor reads as markup; a log line is cut further on.
TEST(CodecText, NamesAreCutPlainTextWithTheWholeNameInTheToolTip) {
    const QString longName = "<b>" + QString(3000, 'x');
    QWidget window;
    auto* label = new QLabel(&window);
    (new QVBoxLayout(&window))->addWidget(label);
    label->setTextFormat(Qt::RichText);
    CodecText::showName(*label, longName, " (after)");
    EXPECT_EQ(label->textFormat(), Qt::PlainText);
    EXPECT_EQ(label->text(), longName.left(kMaxShownCodecText - 1) + "\u2026 (after)");
    EXPECT_LT(window.minimumSizeHint().width(), 100);
    QTextDocument tip;
    tip.setHtml(label->toolTip());
    EXPECT_EQ(tip.toPlainText(), longName.left(CodecText::kToolTipLength - 1) + "\u2026");

    QTreeWidgetItem item;
    CodecText::showName(item, 2, longName);
    EXPECT_EQ(item.text(2) + " (after)", label->text());
    EXPECT_EQ(item.toolTip(2), label->toolTip());
    EXPECT_TRUE(CodecText::nameToolTip("<b>Studio</b>").isEmpty());
    EXPECT_EQ(CodecText::logLine(QString(5000, 'l')).size(), CodecText::kLogLineLength);
}

}  // namespace
