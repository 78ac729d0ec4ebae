#pragma once

#include <QDialog>
#include <QList>
#include <QString>
#include <QUuid>

#include <memory>

class IPCObject;

namespace Ui {
class SendDialog;
}

// Lets the operator choose the codecs that a profile or a peer of the active codec is copied to:
// one check-box row per codec, "unit name : address:port" (the address alone while the codec has
// not told its name), in order of the names. Codecs that could not take the copy (not
// READY, or of the old protocol for a profile) have their rows disabled, saying why. Rows hold the
// codec's instance key, never the session: the caller looks each chosen codec up again once the
// dialog has closed. The dialog sends nothing and does not follow the codecs while it is open.
// GUI thread only.
class SendDialog : public QDialog {
    Q_OBJECT

public:
    struct Target {
        QUuid key;
        QString label;  // "unit name : address:port" or "address:port", as its row showed it
    };

    // What is copied.
    enum class Copy { Peer, Profile };

    explicit SendDialog(QWidget* parent = nullptr);
    ~SendDialog() override;

    // The line above the rows that names what is copied.
    void setCopied(const QString& line);
    // Appends one unticked row per session, by name, as the sessions are now.
    void setTargets(const QList<IPCObject*>& sessions, Copy copy);
    // The ticked rows, in row order.
    QList<Target> selectedTargets() const;

private:
    // Why `session`'s codec cannot take the copy now; empty when it can.
    static QString whyNot(IPCObject& session, Copy copy);

    std::unique_ptr<Ui::SendDialog> ui;
};
