#include "app/fleet/password_prompt_queue.h"

#include <QDebug>
#include <QDialog>
#include <QTimer>
#include <QWidget>

#include <algorithm>

#include "app/shell/instance_registry.h"
#include "dialogs/unit_password.h"
#include "sessions/ipc_object.h"

PasswordPromptQueue::PasswordPromptQueue(QWidget* owner) : QObject(owner), owner_(owner) {}

PasswordPromptQueue::~PasswordPromptQueue() {
    delete prompt_.data();
}

UnitPassword* PasswordPromptQueue::openPrompt() const {
    return prompt_.data();
}

QUuid PasswordPromptQueue::openPromptSession() const {
    return prompt_ ? promptUuid_ : QUuid();
}

void PasswordPromptQueue::askAfterRefusal(const QUuid& sessionUuid) {
    enqueue({sessionUuid, true});
}

void PasswordPromptQueue::askOnRequest(const QUuid& sessionUuid) {
    enqueue({sessionUuid, false});
}

void PasswordPromptQueue::enqueue(const Request& request) {
    if (prompt_ && promptUuid_ == request.uuid) return;
    const auto queued = std::find_if(waiting_.begin(), waiting_.end(),
                                     [&request](const Request& each) { return each.uuid == request.uuid; });
    if (queued != waiting_.end()) {
        // The operator's own request outlasts the state test of a refusal's.
        queued->onlyWhileRefused = queued->onlyWhileRefused && request.onlyWhileRefused;
        return;
    }
    waiting_.push_back(request);
    postShowNext();
}

void PasswordPromptQueue::postShowNext() {
    if (isShowNextPosted_) return;
    isShowNextPosted_ = true;
    QTimer::singleShot(0, this, &PasswordPromptQueue::showNext);
}

void PasswordPromptQueue::showNext() {
    isShowNextPosted_ = false;
    if (prompt_) return;
    while (!waiting_.empty()) {
        const Request request = waiting_.front();
        waiting_.pop_front();
        IPCObject* session = findInstance(request.uuid);
        if (!session || session->isMarkedForDeletion()) continue;
        if (request.onlyWhileRefused && session->state() != IQEndpointClient::AUTH_FAILED) continue;

        auto* prompt = new UnitPassword(owner_ ? owner_->window() : nullptr);
        prompt->describe(*session);
        prompt_ = prompt;
        promptUuid_ = request.uuid;
        connect(prompt, &QDialog::finished, this, &PasswordPromptQueue::promptFinished);
        // A codec removed while its prompt is open needs no password any more.
        connect(session, &QObject::destroyed, prompt, &QDialog::reject);
        qInfo().noquote() << "asking for the login password of" << IPCObject::addressText(session->host, session->port);
        prompt->show();  // modal (the prompt says so) without a nested event loop
        prompt->raise();
        prompt->activateWindow();
        return;
    }
}

void PasswordPromptQueue::promptFinished(int result) {
    UnitPassword* prompt = prompt_.data();
    if (!prompt) return;
    prompt_.clear();
    if (result == QDialog::Accepted) {
        if (IPCObject* session = findInstance(promptUuid_)) {
            prompt->applyTo(*session);
            qInfo().noquote() << "new login password for" << session->log_name();
        }
    }
    promptUuid_ = QUuid();
    prompt->deleteLater();
    if (!waiting_.empty()) postShowNext();
}
