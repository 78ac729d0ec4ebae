#include "dialogs/refusal_notice.h"

#include <QMessageBox>
#include <QTimer>

#include <algorithm>

#include "dialogs/message_box.h"
#include "sessions/ipc_object.h"
#include "sessions/session_requests.h"
#include "text/codec_text.h"
#include "text/connection_fault_text.h"
#include "text/unit_label.h"

namespace {

// A notice stays readable, and within a laptop's screen, however many refusals come while it is
// open: this many codecs are named in it.
constexpr int kMaxCodecs = 20;

using session_requests::OperatorRequest;

// The operator's requests are told, the program's own left to the log and the scheduler.
bool isTold(const FailureEffect& effect) {
    if (effect.kind != FailureEffect::kAnswersOneOf) return effect.asked;
    return std::any_of(effect.candidates.cbegin(), effect.candidates.cend(),
                       [](const FailureEffect::Candidate& candidate) { return candidate.asked; });
}

// "\"Voice\" (id 3)" for each subject, or "id 3" where the codec's list did not name it.
QString subjectsText(const QList<FailureEffect::Subject>& subjects) {
    QStringList texts;
    for (const FailureEffect::Subject& subject : subjects) {
        texts << (subject.name.isEmpty()
                      ? RefusalNotice::tr("id %1").arg(subject.id)
                      : RefusalNotice::tr("\"%1\" (id %2)").arg(shownName(subject.name)).arg(subject.id));
    }
    return texts.join(RefusalNotice::tr(" or "));
}

// "\"OB Van\"", or "with id 3" where the codec's list did not name it; several joined by "and".
QString namedText(const QList<FailureEffect::Subject>& subjects) {
    QStringList texts;
    for (const FailureEffect::Subject& subject : subjects) {
        texts << (subject.name.isEmpty() ? RefusalNotice::tr("with id %1").arg(subject.id)
                                         : RefusalNotice::tr("\"%1\"").arg(shownName(subject.name)));
    }
    return texts.join(RefusalNotice::tr(" and "));
}

// What the operator asked for with `asked`, concerning `subjects` (what the request named, none
// when unknown): "to save the settings", "to remove the peer \"OB Van\"". The request's own name
// is for the log; one that cannot be told is "a request".
QString askedForNamed(const OperatorRequest* asked, const QList<FailureEffect::Subject>& subjects) {
    if (!asked) return RefusalNotice::tr("a request");
    if (!asked->asked_named || subjects.isEmpty()) return RefusalNotice::tr(asked->asked);
    return RefusalNotice::tr(asked->asked_named).arg(namedText(subjects));
}

// The same for the request a refusal answers: its effect's subjects name what the request asked
// for, except where they name what a profile copy left.
QString askedForText(const FailureEffect& effect) {
    switch (effect.kind) {
    case FailureEffect::kCopyNotMade: return RefusalNotice::tr("to copy a profile");
    case FailureEffect::kEmptyProfileMayBeLeft:
    case FailureEffect::kEmptyProfileLeft:
    case FailureEffect::kAnswersOneOf: return askedForNamed(effect.asked, {});
    case FailureEffect::kNotConnected:
        // The profile chosen for a connect, given to the peer first.
        if (effect.asked == &session_requests::kSetPeerSettings) {
            return RefusalNotice::tr("to give the peer %1 the profile chosen for it").arg(namedText(effect.subjects));
        }
        break;
    default: break;
    }
    return askedForNamed(effect.asked, effect.subjects);
}

// "your connect of \"Studio B\" (id 2)", "your disconnect of every peer", "your request to remove
// the peer \"OB Van\"".
QString candidateText(const FailureEffect::Candidate& candidate) {
    const QString subjects = subjectsText(candidate.subjects);
    if (candidate.undone == FailureEffect::kNotConnected) return RefusalNotice::tr("your connect of %1").arg(subjects);
    if (candidate.undone != FailureEffect::kNotDisconnected) {
        return RefusalNotice::tr("your request %1").arg(askedForNamed(candidate.asked, candidate.subjects));
    }
    return subjects.isEmpty() ? RefusalNotice::tr("your disconnect of every peer")
                              : RefusalNotice::tr("your disconnect of %1").arg(subjects);
}

// The operator's requests a refusal may answer, newest first, leaving out those the codec's peer
// list shows done: naming them would claim they may not be.
QString answersText(const FailureEffect& effect) {
    QStringList named;
    QStringList shownDone;
    bool hasOthers = false;
    bool isOtherNewer = false;  // than every named one
    for (auto candidate = effect.candidates.crbegin(); candidate != effect.candidates.crend(); ++candidate) {
        const bool isOperators = candidate->asked;
        if (isOperators && !candidate->isShownDone) {
            named << candidateText(*candidate);
            continue;
        }
        if (isOperators) shownDone << candidateText(*candidate);
        hasOthers = true;
        isOtherNewer = isOtherNewer || named.isEmpty();
    }
    if (named.isEmpty()) {
        return RefusalNotice::tr("the codec's peer list shows %1 done").arg(shownDone.join(RefusalNotice::tr(" and ")));
    }
    const QString others = !hasOthers     ? QString()
                           : isOtherNewer ? RefusalNotice::tr(" or another request")
                                          : RefusalNotice::tr(" or an earlier request");
    return RefusalNotice::tr("it answers %1").arg(named.join(RefusalNotice::tr(" or "))) + others;
}

// What the failure did to the operator's action, to follow the line's first part.
QString effectText(const FailureEffect& effect) {
    const QString subjects = subjectsText(effect.subjects);
    switch (effect.kind) {
    case FailureEffect::kNone: return QString();
    case FailureEffect::kCopyNotMade: return RefusalNotice::tr("; the profile copy was not made");
    case FailureEffect::kCopyIdHeld:
        return RefusalNotice::tr("the profile copy was not made: the codec answered addProfile with the id of its "
                                 "profile %1, which was left as it was")
            .arg(subjects);
    case FailureEffect::kEmptyProfileMayBeLeft:
        return RefusalNotice::tr("; an empty profile made for a profile copy may be left on it: %1").arg(subjects);
    case FailureEffect::kEmptyProfileLeft:
        return RefusalNotice::tr("; the empty profile %1, made for a profile copy, stays on it").arg(subjects);
    case FailureEffect::kNotConnected: return RefusalNotice::tr("; peer %1 was not connected").arg(subjects);
    case FailureEffect::kNotDisconnected:
        return subjects.isEmpty() ? RefusalNotice::tr("; no peer was disconnected")
                                  : RefusalNotice::tr("; peer %1 was not disconnected").arg(subjects);
    case FailureEffect::kNotConnectedUnsure:
        return RefusalNotice::tr("peer %1 was not connected: the codec's answer to its profile could not be told "
                                 "from the answer to another request")
            .arg(subjects);
    case FailureEffect::kAnswersOneOf: return RefusalNotice::tr("; %1").arg(answersText(effect));
    case FailureEffect::kNoAnswer:
        return RefusalNotice::tr("your request %1 got no answer: %2; it may or may not have been done")
            .arg(askedForNamed(effect.asked, effect.subjects), connectionFaultText(effect.lostLink));
    case FailureEffect::kNotConnectedNoAnswer:
        return RefusalNotice::tr("peer %1 was not connected: %2").arg(subjects, connectionFaultText(effect.lostLink));
    }
    return QString();
}

}  // namespace

RefusalNotice::RefusalNotice(QWidget* owner) : QObject(owner), owner_(owner) {}

void RefusalNotice::report(IPCObject& session, const QString& errorCode, const QString& errorText,
                           const FailureEffect& effect) {
    if (!isTold(effect)) return;
    QString told;  // what follows the codec's name
    if (effect.isRefusal()) {
        // A refused connect or disconnect says all its effect would.
        const bool isEffectSaid =
            effect.asked == &session_requests::kConnect || effect.asked == &session_requests::kDisconnect;
        told = tr(" refused %1: %2 (error %3)")
                   .arg(askedForText(effect), shownCodecText(errorText), shownCodecText(errorCode)) +
               (isEffectSaid ? QString() : effectText(effect));
        // The window switched its meters as it asked, whatever the codec answers.
        if (effect.asked == &session_requests::kMeteringOff) {
            told += tr("; this window has stopped showing its levels all the same");
        } else if (effect.asked == &session_requests::kMeteringOn) {
            told += tr("; this window shows whatever levels it sends all the same");
        }
    } else {
        told = tr(": %1").arg(effectText(effect));
    }
    addRefusal(tr("%1 (%2)").arg(shownUnitName(session), IPCObject::addressText(session.host, session.port)), told,
               effect.kind == FailureEffect::kNoAnswer);
    if (isShowPosted_) return;
    isShowPosted_ = true;
    QTimer::singleShot(0, this, &RefusalNotice::showRefusals);
}

void RefusalNotice::addRefusal(const QString& codec, const QString& told, bool isUnanswered) {
    if (namedCodecs_ >= kMaxCodecs) {
        ++droppedRefusals_;
        return;
    }
    ++namedCodecs_;
    for (Refusal& alike : refusals_) {
        // A codec that refused twice, as a setting saved twice, is told twice.
        if (alike.told != told || alike.codecs.contains(codec)) continue;
        alike.codecs << codec;
        return;
    }
    refusals_.append({told, {codec}, isUnanswered});
}

QString RefusalNotice::refusalText(const Refusal& refusal) {
    const QStringList& codecs = refusal.codecs;
    if (codecs.size() == 1) return codecs.first() + refusal.told;
    return codecs.mid(0, codecs.size() - 1).join(tr(",\n")) + tr("\nand %1").arg(codecs.last()) + refusal.told;
}

QString RefusalNotice::groupText(bool isUnanswered) const {
    QStringList paragraphs;
    for (const Refusal& refusal : refusals_) {
        if (refusal.isUnanswered == isUnanswered) paragraphs << refusalText(refusal);
    }
    if (paragraphs.isEmpty()) return QString();
    const QString heading = isUnanswered ? tr("These requests got no answer before the link to their codec was lost:")
                                         : tr("These changes were not made:");
    return heading + tr("\n\n") + paragraphs.join(tr("\n\n"));
}

void RefusalNotice::showRefusals() {
    isShowPosted_ = false;
    const QString refused = groupText(false);
    QStringList groups = {refused, groupText(true)};
    groups.removeAll(QString());
    QString text = groups.join(tr("\n\n"));
    if (droppedRefusals_ > 0) text += tr("\n\n(and %1 more)").arg(droppedRefusals_);
    const QString title = refused.isEmpty() ? tr("Requests Unanswered") : tr("Changes Refused");
    if (box_) {
        box_->setWindowTitle(title);
        box_->setText(text);
        return;
    }
    box_ = MessageBox::open(owner_, {QMessageBox::Warning, title, text, QMessageBox::Ok});
    if (!box_) {
        forgetRefusals();
        return;
    }
    // Refusals after this start a notice of their own.
    connect(box_, &QMessageBox::finished, this, [this] {
        box_ = nullptr;
        forgetRefusals();
    });
}

void RefusalNotice::forgetRefusals() {
    refusals_.clear();
    namedCodecs_ = 0;
    droppedRefusals_ = 0;
}
