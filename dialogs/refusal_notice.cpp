#include "dialogs/refusal_notice.h"

#include <QMessageBox>
#include <QTimer>

#include "dialogs/codec_text.h"
#include "dialogs/message_box.h"
#include "dialogs/unit_label.h"
#include "sessions/ipc_object.h"

namespace {

// A notice stays readable however many refusals come while it is open.
constexpr int kMaxLines = 20;

// The requests the operator's editors send, by seq: their refusals are the operator's business.
bool isEditorRequest(const QString& request) {
    static const QStringList kEditorRequests = {QStringLiteral("setSysOptions"), QStringLiteral("setDirectoryServer"),
                                                QStringLiteral("setChannelSettings"),
                                                QStringLiteral("setProfile"),
                                                QStringLiteral("setBraidlinkOptions"),
                                                QStringLiteral("addPeer"),
                                                QStringLiteral("setPeerSettings"),
                                                QStringLiteral("addProfile")};
    return kEditorRequests.contains(request);
}

}  // namespace

RefusalNotice::RefusalNotice(QWidget* owner) : QObject(owner), owner_(owner) {}

void RefusalNotice::report(IPCObject& session, const QString& request, const QString& errorCode,
                           const QString& errorText, bool isProfileCopy) {
    if (!isEditorRequest(request)) return;
    if (lines_.size() >= kMaxLines) {
        ++droppedLines_;
    } else {
        lines_ << tr("%1 (%2) refused %3: %4 (error %5)")
                          .arg(shownUnitName(session), IPCObject::addressText(session.host, session.port),
                               request, shownCodecText(errorText), shownCodecText(errorCode)) +
                      (isProfileCopy ? tr("; the profile copy was not made") : QString());
    }
    if (isShowPosted_) return;
    isShowPosted_ = true;
    QTimer::singleShot(0, this, &RefusalNotice::showLines);
}

void RefusalNotice::showLines() {
    isShowPosted_ = false;
    QString text = tr("These changes were not made:\n\n") + lines_.join(QLatin1Char('\n'));
    if (droppedLines_ > 0) text += tr("\n(and %1 more)").arg(droppedLines_);
    if (box_) {
        box_->setText(text);
        return;
    }
    box_ = MessageBox::open(owner_, {QMessageBox::Warning, tr("Changes Refused"), text, QMessageBox::Ok});
    if (!box_) {
        forgetLines();
        return;
    }
    // Refusals after this start a notice of their own.
    connect(box_, &QMessageBox::finished, this, [this] {
        box_ = nullptr;
        forgetLines();
    });
}

void RefusalNotice::forgetLines() {
    lines_.clear();
    droppedLines_ = 0;
}
