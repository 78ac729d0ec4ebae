#include "sessions/peer_list_update.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ipc/message/message.h"

namespace {

std::string peer(const char* id, const char* name, bool active, const char* more = "") {
    return std::string("<peer id=\"") + id + "\" name=\"" + name + "\" active=\"" + (active ? "true" : "false") + "\"" +
           more + "/>";
}

std::vector<std::string> texts(const QStringList& list) {
    std::vector<std::string> out;
    for (const QString& each : list) out.push_back(each.toStdString());
    return out;
}

struct UpdateCase {
    const char* label;
    std::vector<std::pair<int, const char*>> previous_active;  // id and name, in the old order
    std::string peers;                                         // the "peer" children of the new list
    std::vector<std::string> started;
    std::vector<std::string> ended;
    std::vector<std::string> duplicates;
    std::vector<int> active_ids;
    const char* chan_state;
    std::optional<std::string> receiving;
};

// clang-format off
const UpdateCase kUpdates[] = {
    {"a first list starts its active peers",
     {},
     peer("1", "A", true, " chan_state=\"up\" receiving=\"true\"") + peer("2", "B", false),
     {"A"}, {}, {}, {1}, "up", "1"},
    {"ended: the listed ones in list order, then the gone ones in their old order",
     {{1, "A"}, {2, "B"}, {3, "C"}},
     peer("3", "C", false),
     {}, {"C", "A", "B"}, {}, {}, "", std::nullopt},
    {"a peer gone that no list named is ended without a name",
     {{7, nullptr}},
     "",
     {}, {""}, {}, {}, "", std::nullopt},
    {"a repeated id is skipped and named",
     {{5, "A"}},
     peer("5", "A", true) + peer("5", "A2", true) + peer("6", "B", false, " chan_state=\"idle\""),
     {}, {}, {"5"}, {5}, "idle", std::nullopt},
    {"the last non-empty channel state and the last receiving peer win",
     {},
     peer("1", "A", true, " chan_state=\"up\" receiving=\"true\"") +
         peer("2", "B", true, " chan_state=\"\" receiving=\"true\""),
     {"A", "B"}, {}, {}, {1, 2}, "up", "2"},
    {"a receiving peer without an id is still the receiving one",
     {},
     "<peer name=\"N\" active=\"true\" receiving=\"true\"/>",
     {"N"}, {}, {}, {0}, "", ""},
};
// clang-format on

TEST(PeerListUpdate, ReadsAListAgainstTheOneBefore) {
    for (const UpdateCase& c : kUpdates) {
        QList<int> previous_ids;
        QMap<int, PeerMetaPtr> previous_by_id;
        for (const auto& [id, name] : c.previous_active) {
            previous_ids.append(id);
            if (!name) continue;
            auto known = std::make_shared<PeerMeta>();
            known->name = name;
            previous_by_id.insert(id, known);
        }
        Message list;
        list.parse("<resp seq=\"peerList\">" + c.peers + "</resp>");
        const PeerListUpdate update = PeerListUpdate::read(list, previous_ids, previous_by_id);

        EXPECT_EQ(texts(update.started_names), c.started) << c.label;
        EXPECT_EQ(texts(update.ended_names), c.ended) << c.label;
        EXPECT_EQ(texts(update.duplicate_ids), c.duplicates) << c.label;
        EXPECT_EQ(std::vector<int>(update.active_ids.begin(), update.active_ids.end()), c.active_ids) << c.label;
        EXPECT_EQ(update.active.size(), update.active_ids.size()) << c.label;
        EXPECT_EQ(update.chan_state.toStdString(), c.chan_state) << c.label;
        ASSERT_EQ(update.receiving_id.has_value(), c.receiving.has_value()) << c.label;
        if (c.receiving) {
            EXPECT_EQ(update.receiving_id->toStdString(), *c.receiving) << c.label;
        }
        EXPECT_EQ(update.book.size() + update.directory.size(), update.all.size()) << c.label;
        EXPECT_EQ(update.by_id.size(), update.all.size()) << c.label;
    }
}

TEST(PeerListUpdate, SortsDirectoryPeersApartAndKeysByDecimalId) {
    Message list;
    list.parse("<resp>" + peer("2", "B", false) + "<peer id=\"9\" name=\"D\"><directory product=\"P\"/></peer>" +
               peer("x", "X", false) + "</resp>");
    const PeerListUpdate update = PeerListUpdate::read(list, {}, {});
    ASSERT_EQ(update.all.size(), 3);
    ASSERT_EQ(update.directory.size(), 1);
    EXPECT_EQ(update.directory[0]->name, "D");
    EXPECT_EQ(update.book.size(), 2);
    EXPECT_EQ(update.by_id.keys(), (QList<int>{0, 2, 9})) << "an id that is no number counts as 0";
}

}  // namespace
