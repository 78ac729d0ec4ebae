#include "sessions/sent_renames.h"

#include <gtest/gtest.h>

namespace {

const QStringList kWas = {"3", "OB Van", "198.51.100.7"};
const QStringList kNow = {"3", "OB Van North", "198.51.100.8"};

// Only the rename sent for that very peer, to that very name and address, counts as sent.
TEST(SentRenames, OnlyTheRenameSentForThatPeerIsSent) {
    SentRenames renames;
    renames.note(kWas, kNow);
    EXPECT_TRUE(renames.isSent(kWas, kNow));
    EXPECT_FALSE(renames.isSent({"3", "Old Studio", "198.51.100.7"}, kNow));    // another peer held the id
    EXPECT_FALSE(renames.isSent(kWas, {"3", "OB Van South", "198.51.100.8"}));  // another client's name
    EXPECT_FALSE(renames.isSent({"4", "OB Van", "198.51.100.7"}, {"4", "OB Van North", "198.51.100.8"}));
    renames.note({"5", "Studio"}, {"5", "Studio"});  // renames nothing
    EXPECT_FALSE(renames.isSent({"5", "Studio"}, {"5", "Studio"}));
    EXPECT_FALSE(renames.isRemoved(kWas));
}

// A removal sent for a peer is that peer's only, and takes the place of a rename sent before it.
TEST(SentRenames, OnlyTheRemovalSentForThatPeerIsSent) {
    SentRenames renames;
    renames.note(kWas, kNow);
    renames.noteRemoval(kWas);
    EXPECT_TRUE(renames.isRemoved(kWas));
    EXPECT_FALSE(renames.isSent(kWas, kNow));
    EXPECT_FALSE(renames.isRemoved({"3", "Old Studio", "198.51.100.7"}));  // another peer held the id
    EXPECT_FALSE(renames.isRemoved({"4", "OB Van", "198.51.100.7"}));
}

struct SettleCase {
    const char* what;
    QList<QStringList> listed;
    bool isStillSent;
};
const SettleCase kSettle[] = {
    {"not taken in yet", {{"1", "Studio", ""}, kWas}, true},
    {"landed", {kNow}, false},
    {"overtaken by another name", {{"3", "Mole", "198.51.100.7"}}, false},
    {"the id left the list", {{"1", "Studio", ""}}, false},
};

// A rename or removal is kept while the list still names its peer as it was; once the list names
// the id otherwise, a later rename or removal elsewhere is no longer the operator's.
TEST(SentRenames, AListThatNamesTheIdOtherwiseSettlesIt) {
    for (const bool isRemoval : {false, true}) {
        for (const SettleCase& c : kSettle) {
            SentRenames renames;
            if (isRemoval) {
                renames.noteRemoval(kWas);
            } else {
                renames.note(kWas, kNow);
            }
            renames.settle(c.listed);
            EXPECT_EQ(isRemoval ? renames.isRemoved(kWas) : renames.isSent(kWas, kNow), c.isStillSent)
                << c.what << (isRemoval ? " (removal)" : " (rename)");
            EXPECT_EQ(renames.isEmpty(), !c.isStillSent) << c.what;
        }
    }
}

}  // namespace
