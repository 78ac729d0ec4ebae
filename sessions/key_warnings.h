#pragma once

#include <QSet>
#include <QString>

// What a session writes about keys a codec chose: reports and replies that no slot takes, keys the
// reply cache has no room for. A codec may send thousands of distinct ids on one connection (one
// report name per configuration path), so each key is named at most once and only the first
// kNamedKeys are named at all; later warnings are counted, and the count is written when the
// connection ends. The session's own fixed texts (a reply without seq, a full cache) are written
// once per connection whatever the count.
//
// Threads: none of its own. IQEndpointClient guards it with the session mutex and writes the texts
// after releasing it.
class KeyWarnings {
public:
    static constexpr int kNamedKeys = 16;

    enum class Verdict {
        kDrop,       // counted only
        kWrite,      // write it
        kWriteLast,  // write it, and say that later ones on this connection are only counted
    };

    // The verdict on a warning about a key the codec chose.
    Verdict admit(const QString& key);
    // True the first time a fixed text's key is seen on this connection.
    bool admit_fixed(const QString& key);
    // How many warnings were dropped since the last call; every key may be named again afterwards.
    int take_dropped_count();

private:
    QSet<QString> named_keys_;  // at most kNamedKeys
    QSet<QString> fixed_keys_;  // the session's own texts: a handful
    int dropped_ = 0;
};
