#pragma once

#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include "sessions/failure_effect.h"

class IPCObject;
class QWidget;

// Tells the operator when a codec refuses a change that one of the editors sent, or a connect or
// disconnect the operator asked for, since nothing else would: the editors wait for no reply, the
// refused values simply stay unsaved, and a refused call leaves the peers as they were. One
// warning at a time, not modal, opened from the event loop (never inside the session's signal);
// refusals that come while it is open join it. Each refusal names the codec (unit name and address),
// what the operator asked for in the operator's words ("refused to save the settings"; the wire
// request's name goes only to the log), and the codec's error text and code, then what became of a
// profile copy, a connect or a disconnect behind it; an answer the session could not use is told in
// the same way. A
// refusal that cannot be told from the answers to other requests names the operator's requests it
// may answer. Codecs that refused alike, as many do a fleet-wide command, share one sentence with
// a line per codec, and each sentence is a paragraph of its own.
//
// The operator's requests that got no answer before the link to their codec was lost are told in
// the same notice, under a heading of their own after the refusals: the codec refused nothing, and
// may or may not have done them.
//
// Threads: GUI thread only.
class RefusalNotice : public QObject {
    Q_OBJECT

public:
    // The notice opens over `owner`.
    explicit RefusalNotice(QWidget* owner);

    // A refusal by `session`'s codec, as IPCObject::requestFailed reports it: told when the operator
    // asked for the request (FailureEffect::asked, whose words it is told in), or may have asked for
    // one it answers; the program's own requests are left to the log.
    void report(IPCObject& session, const QString& errorCode, const QString& errorText, const FailureEffect& effect);

private:
    // What codecs told alike: `told` follows their names (" refused to disconnect every peer: ...").
    struct Refusal {
        QString told;
        QStringList codecs;
        bool isUnanswered;  // the request got no answer: it may have been done
    };

    void addRefusal(const QString& codec, const QString& told, bool isUnanswered);
    static QString refusalText(const Refusal& refusal);
    // The refusals, or the unanswered requests, under their heading; empty when there are none.
    QString groupText(bool isUnanswered) const;
    void showRefusals();
    void forgetRefusals();

    QWidget* owner_;           // our parent
    QList<Refusal> refusals_;  // those of the open notice, and any waiting to join it, as they came
    int namedCodecs_ = 0;      // in refusals_
    int droppedRefusals_ = 0;  // beyond kMaxCodecs
    QPointer<QMessageBox> box_;
    bool isShowPosted_ = false;
};
