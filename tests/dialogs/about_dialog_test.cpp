#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QTextBrowser>

#include "dialogs/about_dialog.h"
#include "dialogs/help_dialog.h"

namespace {

TEST(AboutDialog, ShowsTheConfigurationPathAndClosesOnEscape) {
    const QString path = "/home/op/.config/Quelda/kt-config.xml";
    AboutDialog about(path);
    about.show();
    const QLabel* config = about.findChild<QLabel*>("labelConfigfile");
    ASSERT_NE(config, nullptr);
    EXPECT_EQ(config->text(), path);
    EXPECT_TRUE(config->textInteractionFlags() & Qt::TextSelectableByMouse);
    EXPECT_EQ(about.findChild<QLabel*>("labelVersion")->text().count('.'), 2);

    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(&about, &escape);
    EXPECT_FALSE(about.isVisible());
    EXPECT_EQ(about.result(), QDialog::Rejected);
}

TEST(HelpDialog, ShowsItsPageWithTheLogo) {
    HelpDialog help;
    const QTextBrowser* page = help.findChild<QTextBrowser*>("textHelp");
    ASSERT_NE(page, nullptr);
    EXPECT_TRUE(page->toPlainText().contains("ZORVA Control Help"));
    EXPECT_TRUE(page->toPlainText().contains("Making and Breaking Connections"));
    // Line breaks of the page's source read as blanks.
    EXPECT_TRUE(page->toPlainText().contains("from one window"));
    // The logo comes from the compiled-in resources.
    EXPECT_FALSE(page->document()->resource(QTextDocument::ImageResource, QUrl(":/icons/quelda_logo.svg")).isNull());
}

}  // namespace
