#include "text/connection_fault_text.h"

#include <gtest/gtest.h>

namespace {

// 14:02:07 local time on a winter day, and the last second of that day as "now".
const QDateTime kDropped(QDate(2026, 12, 9), QTime(14, 2, 7), Qt::LocalTime);
const QDateTime kToday(QDate(2026, 12, 9), QTime(23, 59, 59), Qt::LocalTime);
const ConnectionFault kUnreadable{ConnectionFault::kFrameUnreadable, "Premature end of document.", 0};
const ConnectionFault kHuge{ConnectionFault::kFrameTooLarge, {}, 3145728};

struct DropsCase {
    LinkDrops drops;
    QDateTime now;
    QString text;
};
const DropsCase kDrops[] = {
    {{0, {}, {}}, kToday, ""},
    {{1, kDropped.toUTC(), kUnreadable},
     kToday,
     "1 message from the codec was dropped since it connected, at 14:02:07: unreadable (Premature end of document.)"},
    // A link up for days: the time alone would read as today's.
    {{12, kDropped.toUTC(), kHuge},
     kToday.addDays(1),
     "12 messages from the codec were dropped since it connected, the last at 2026-12-09 14:02:07: too large "
     "(3145728 bytes)"},
    // The reader quotes what the codec sent: taken as text, never as a placeholder, and cut short.
    {{2, kDropped.toUTC(), {ConnectionFault::kFrameUnreadable, "%1 <b>" + QString(300, 'x'), 0}},
     kToday,
     "2 messages from the codec were dropped since it connected, the last at 14:02:07: unreadable (%1 <b>" +
         QString(193, 'x') + QChar(0x2026) + ")"},
    // Counted again after Seen: not all the link dropped.
    {{1, kDropped.toUTC(), kUnreadable, kDropped.addSecs(-207).toUTC()},
     kToday,
     "1 message from the codec was dropped since you pressed Seen at 13:58:40, at 14:02:07: unreadable (Premature "
     "end of document.)"},
    {{5000000000, kDropped.toUTC(), {ConnectionFault::kFrameUnreadable, {}, 0}},
     kToday,
     "5000000000 messages from the codec were dropped since it connected, the last at 14:02:07: unreadable"},
};

// What the operator reads of a codec's dropped frames while it is READY.
TEST(LinkDropsText, SaysHowManyWhenAndWhyTheLast) {
    for (const DropsCase& c : kDrops) EXPECT_EQ(linkDropsText(c.drops, c.now), c.text) << c.text.toStdString();
}

}  // namespace
