#pragma once

#include <QList>
#include <QMetaType>
#include <QString>

#include "sessions/connection_fault.h"

namespace session_requests {
struct OperatorRequest;
}

// What became of the operator's action behind a request that failed, beyond the request itself;
// raised with IPCObject::requestFailed. A plain value.
struct FailureEffect {
    enum Kind {
        kNone,
        // A profile copy's write was refused: the empty profile its "addProfile" made is deleted.
        kCopyNotMade,
        // "addProfile" was answered with the id of a profile the codec already held: the copy wrote
        // nothing and deleted nothing. The codec refused nothing.
        kCopyIdHeld,
        // A refused write that may have been a profile copy's, or the refused deletion of one of
        // several copies' empty profiles: nothing was deleted, and an empty profile may be left.
        kEmptyProfileMayBeLeft,
        // The deletion of a refused copy's empty profile was refused: that profile stays.
        kEmptyProfileLeft,
        // The profile a connect was to use, or the operator's connect itself, was refused: nothing
        // was connected.
        kNotConnected,
        // An answer accepted a profile assignment but could not be told from another request's: the
        // connect that waited for its profile was not made. The codec refused nothing.
        kNotConnectedUnsure,
        // The operator's disconnect was refused: the peer, or with no subject every peer, stays
        // as it was.
        kNotDisconnected,
        // A refusal without seq while several requests without seq awaited an answer: the codec
        // leaves their successes unanswered, so it refused one of `candidates`, which cannot be
        // told.
        kAnswersOneOf,
        // The link to the codec was lost before the operator's request was answered (`lostLink`
        // says why): the codec may or may not have carried it out. The codec refused nothing.
        kNoAnswer,
        // A connect that waited for the answer to its profile was never sent: the link was lost
        // first (`lostLink`). The codec refused nothing.
        kNotConnectedNoAnswer,
    };
    struct Subject {
        int id = 0;
        QString name;  // as the codec's last list names it; empty when that list does not hold it
    };
    // A request a refusal of kind kAnswersOneOf may answer.
    struct Candidate {
        QString request;          // its name: "connect", "disconnect", "removePeer", ...
        Kind undone = kNone;      // what its refusal leaves undone of the operator's action, if noted
        QList<Subject> subjects;  // the peers that concerns
        // The codec's last peer list shows done what it asked for (the peer connected, or
        // disconnected): telling the operator it may have been refused would claim otherwise.
        bool isShownDone = false;
        // The operator's request, as it was defined; null for the program's own.
        const session_requests::OperatorRequest* asked = nullptr;
    };

    // Whether the codec refused the request; otherwise its answer could not be used.
    bool isRefusal() const {
        return kind != kCopyIdHeld && kind != kNotConnectedUnsure && kind != kNoAnswer && kind != kNotConnectedNoAnswer;
    }

    Kind kind = kNone;
    // The operator's request that failed, as it was sent, with the words it is told in; null for
    // the program's own (the scheduler's, a fetch) and for one that may answer several requests.
    const session_requests::OperatorRequest* asked = nullptr;
    QList<Subject> subjects;      // the profiles, or the peer, that the effect concerns
    QList<Candidate> candidates;  // kAnswersOneOf: oldest first
    ConnectionFault lostLink;     // kNoAnswer, kNotConnectedNoAnswer: why the link was lost
};

Q_DECLARE_METATYPE(FailureEffect)
