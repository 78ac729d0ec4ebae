#pragma once

#include <QDialog>
#include <QString>

#include <memory>

class IPCObject;

namespace Ui {
class UnitPasswordClass;
}

// The prompt for a codec's login password, opened when the codec refuses the login and from
// "Input Password...". It has no Cancel button: closing it or pressing Escape rejects it. The
// typed text is a secret: nothing here writes it anywhere but into the session.
// GUI thread only.
class UnitPassword : public QDialog {
    Q_OBJECT

public:
    explicit UnitPassword(QWidget* parent = nullptr);
    ~UnitPassword() override;

    // Names the codec: its unit name in the prompt, where known, and its unitLabel in the title,
    // which the prompt is wide enough to show whole.
    void describe(IPCObject& session);
    QString password() const;
    // Gives the session the typed password (UTF-8; empty stays empty) and reconnects it at once,
    // so that its next login uses it. A session marked for deletion takes it but stays down.
    void applyTo(IPCObject& session) const;

private:
    void fitTitle();

    std::unique_ptr<Ui::UnitPasswordClass> ui;
};
