#pragma once

#include <QMessageBox>
#include <QString>
#include <QStringList>

#include <functional>
#include <utility>
#include <vector>

#include "dialogs/message_box.h"

// Answers every message box while it lives, instead of a person, and keeps what each one said.
// Questions get `answer_to_questions`; every other box is closed with its only button.
class MessageBoxRecorder {
public:
    explicit MessageBoxRecorder(QMessageBox::StandardButton answer_to_questions = QMessageBox::Yes);
    ~MessageBoxRecorder();
    MessageBoxRecorder(const MessageBoxRecorder&) = delete;
    MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;

    // Runs `act` inside each question before it is answered: what happens while a person reads it.
    void whileAsking(std::function<void()> act) { while_asking_ = std::move(act); }
    // Takes the focus from the widget that has it while each box is open, as a real box does.
    void takeFocusWhileShowing() { is_taking_focus_ = true; }

    const std::vector<MessageBox::Request>& boxes() const { return boxes_; }
    // How many boxes had this title.
    int count(const QString& title) const;
    // The text of the last box with this title; empty when there was none.
    QString lastText(const QString& title) const;
    // The lines of every box with this title, oldest box first.
    QStringList lines(const QString& title) const;

private:
    std::vector<MessageBox::Request> boxes_;
    std::function<void()> while_asking_;
    bool is_taking_focus_ = false;
};
