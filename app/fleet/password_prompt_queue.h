#pragma once

#include <QObject>
#include <QPointer>
#include <QUuid>

#include <deque>

class UnitPassword;
class QWidget;

// The one road to the login-password prompt, for a codec that refused its login and for the
// operator's "Input Password...". Prompts never nest: one is open at a time, each codec waits in
// the queue at most once, and the next opens when the open one closes. A prompt opens from the
// event loop, never inside the caller (a session's state signal), and is modal without a nested
// event loop, so reports keep arriving in order while the operator types. Once the prompt closes,
// the codec is looked up again by its instance key: a codec removed meanwhile gets nothing. Each
// prompt is deleted after use. The typed password goes into the session and nowhere else.
//
// Threads: GUI thread only.
class PasswordPromptQueue : public QObject {
    Q_OBJECT

public:
    // Prompts are children of `owner`'s window at the time they open.
    explicit PasswordPromptQueue(QWidget* owner);
    ~PasswordPromptQueue() override;

    // The codec under `sessionUuid` refused its login. Asked in turn, unless by then it has been
    // removed or has left AUTH_FAILED.
    void askAfterRefusal(const QUuid& sessionUuid);
    // The operator asked for the codec's prompt. Asked in turn, whatever its state, unless removed.
    void askOnRequest(const QUuid& sessionUuid);

    // The prompt open now, or null.
    UnitPassword* openPrompt() const;
    // The instance key of the codec the open prompt asks for; null when none is open.
    QUuid openPromptSession() const;
    // Codecs waiting for their turn.
    int waitingCount() const { return static_cast<int>(waiting_.size()); }

private:
    struct Request {
        QUuid uuid;
        bool onlyWhileRefused;
    };

    void enqueue(const Request& request);
    void postShowNext();
    void showNext();
    void promptFinished(int result);

    QPointer<QWidget> owner_;
    std::deque<Request> waiting_;
    QPointer<UnitPassword> prompt_;  // child of the window; deleted after use
    QUuid promptUuid_;
    bool isShowNextPosted_ = false;
};
