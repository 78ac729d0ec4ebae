#pragma once

#include <QCoreApplication>
#include <QString>
#include <QStringList>

// A peer or profile the operator chose that the codec's newest list no longer holds as chosen, and
// the line that says what became of it. Its id may have left the list, or name another name or
// address now: another peer or profile given the id, or the same one renamed elsewhere, which no
// list can tell apart. Either way the choice waits until the operator chooses again.
struct LostChoice {
    Q_DECLARE_TR_FUNCTIONS(LostChoice)

public:
    enum class Kind { kPeer, kProfile };

    Kind kind = Kind::kPeer;
    // As chosen, and as the list names its id now (empty when the id left the list): {id, name}
    // and, for a peer, its address (host part; empty for a directory peer).
    QStringList chosen;
    QStringList listed;

    // "The codec no longer has the peer "OB Van" you chose. ..." when the id left the list, else
    // "You chose "OB Van", but peer 3 is now "OB Van North" at 198.51.100.8. ...", with the
    // address only when it is not the one chosen. The codec's texts in it are cut short.
    QString line() const;
};
