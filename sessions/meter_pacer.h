#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QTimer>

#include <chrono>

class IPCObject;

// Decides how often each codec reports its levels: every kDrawnInterval while some view draws
// them, every kSortingInterval while a view sorts the fleet by its levels, and not at all
// otherwise. At a laptop's size a score of 256 codecs has a meter on screen; levels that no meter
// draws would only cost the program their parsing (a meter that comes into sight gets its codec's
// first report within a frame or two of asking). The views say which codecs' levels they draw
// (setDemand); the pacer decides, and each session sends its codec the interval
// (IPCObject::setMeteringInterval) as far as the operator's metering switch lets it, which the
// pacer never touches.
//
// A fast scroll through the tiles passes every codec in a second. So that no codec is sent a storm
// of changes, a codec's interval changes at most once per kLeastChangeGap: a change that comes
// sooner waits until the gap has passed, and is dropped if the views change back meanwhile.
//
// Threads: GUI thread only.
class MeterPacer : public QObject {
    Q_OBJECT

public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kDrawnInterval{67};
    static constexpr std::chrono::milliseconds kSortingInterval{1000};
    static constexpr std::chrono::milliseconds kNoLevels{0};
    static constexpr std::chrono::milliseconds kLeastChangeGap{250};

    explicit MeterPacer(QObject* parent = nullptr);

    // From now on the pacer decides the session's interval, starting with what the demand last set
    // calls for (no levels, unless the fleet is sorted by them). It forgets the session when it is
    // deleted.
    void follow(IPCObject* session);
    // What the views need now: the sessions whose levels some view draws, and whether a view sorts
    // every codec by its levels.
    void setDemand(const QSet<IPCObject*>& drawn, bool isSortingByLevels);

private:
    struct Pace {
        QPointer<IPCObject> session;
        std::chrono::milliseconds wanted;  // what the views call for now
        Clock::time_point changed;         // when the session's interval last changed; never: epoch
    };

    // What the demand last set calls for from `session`.
    std::chrono::milliseconds wantedFor(IPCObject* session) const;
    // Gives each session the interval it wants where its gap has passed, and waits for the first
    // gap still running.
    void applyChanges();

    QHash<const IPCObject*, Pace> paces_;  // every followed session, until it is deleted
    QSet<IPCObject*> drawn_;               // the demand last set
    bool isSortingByLevels_ = false;
    QTimer gapTimer_;  // single shot: runs until the first waiting change may go
};
