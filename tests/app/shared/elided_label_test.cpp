// A label with less room than its text draws the text cut with "…" where its mode says, and keeps
// the whole text.
#include <gtest/gtest.h>

#include <QLabel>

#include "app/shared/elided_label.h"
#include "tests/app/widget_image.h"

namespace {

TEST(ElidedLabel, DrawsTheCutTextInLittleRoom) {
    const QString name = QStringLiteral("Master Control 15");
    for (const Qt::TextElideMode mode : {Qt::ElideMiddle, Qt::ElideRight}) {
        ElidedLabel label(mode, nullptr);
        label.setText(name);
        EXPECT_LT(label.minimumSizeHint().width(), label.sizeHint().width() / 2);
        label.resize(label.sizeHint().width() / 2, label.sizeHint().height());
        const QString cut = label.fontMetrics().elidedText(name, mode, label.contentsRect().width());
        ASSERT_TRUE(cut.contains(QChar(0x2026)));
        QLabel expected(cut);
        expected.resize(label.size());
        EXPECT_EQ(app_test::render(label), app_test::render(expected)) << mode;
        EXPECT_EQ(label.text(), name);
    }
}

}  // namespace
