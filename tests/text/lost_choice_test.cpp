#include "text/lost_choice.h"

#include <gtest/gtest.h>

namespace {

struct LineCase {
    LostChoice choice;
    QString line;
};
const QString kLong = QString(80, 'n');
const LineCase kLines[] = {
    {{LostChoice::Kind::kPeer, {"3", "OB Van", "198.51.100.7"}, {"3", "OB Van North", "198.51.100.7"}},
     "You chose \"OB Van\", but peer 3 is now \"OB Van North\". Choose the peer again."},
    {{LostChoice::Kind::kPeer, {"3", "OB Van", "198.51.100.7"}, {"3", "OB Van", "198.51.100.8"}},
     "You chose \"OB Van\", but peer 3 is now \"OB Van\" at 198.51.100.8. Choose the peer again."},
    {{LostChoice::Kind::kPeer, {"7", "", ""}, {}},
     "The codec no longer has the peer \"peer 7\" you chose. Choose the peer again."},
    {{LostChoice::Kind::kPeer, {"3", "%2 Desk", ""}, {"3", "%1 Desk", ""}},
     "You chose \"%2 Desk\", but peer 3 is now \"%1 Desk\". Choose the peer again."},
    {{LostChoice::Kind::kProfile, {"2", kLong}, {"2", "Voice"}},
     "You chose \"" + kLong.left(59) + QChar(0x2026) + "\", but profile 2 is now \"Voice\". Choose the profile again."},
};

// What is said of a lost choice: the address only where it changed, a peer known by its id alone,
// codec text taken as it is (never as a placeholder) and cut short.
TEST(LostChoice, SaysWhatBecameOfTheChoice) {
    for (const LineCase& c : kLines) EXPECT_EQ(c.choice.line(), c.line) << c.line.toStdString();
}

}  // namespace
