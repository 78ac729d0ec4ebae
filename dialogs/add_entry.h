#pragma once

#include <QDialog>
#include <QHash>
#include <QString>

#include <memory>

class Message;
class QLineEdit;

namespace Ui {
class AddEntryClass;
}

// One entry of a codec's address book (a peer) as the operator types it: name, address, the
// connection password the remote codec asks for and, on codecs that offer Braidlink, whether the
// connection uses it and the remote unit's MAC address. Adding a peer and editing one both use it;
// the dialog sends nothing. OK stays open, naming the field, while the entry could not be used:
// an address is needed unless Braidlink (offered, ticked) names a MAC address, a ticked Braidlink
// needs a MAC address, an edited entry needs a name, no field may hold a control character, and an
// address may hold no blank.
// The password is shown as typed: the operator reads it off the remote codec.
// GUI thread only.
class AddEntry : public QDialog {
    Q_OBJECT

public:
    explicit AddEntry(QWidget* parent = nullptr);
    ~AddEntry() override;

    // Fills the fields from a "peer" element of the codec's peer list ("password" from "pw",
    // else "password"; the flag from "bdlink", else "use_bdlink"), and from then on asks for a name.
    void setEntry(const Message& peer);
    // The codec offers no Braidlink: the check box and the MAC address keep their values but can't
    // be changed.
    void lockIdentity();

    // Without the blanks typed around them.
    QString name() const;
    QString address() const;
    QString password() const;
    QString unit() const;
    bool isBraidlinkTicked() const;
    // Whether Braidlink is offered (lockIdentity was not called) and ticked.
    bool usesBraidlink() const;

public slots:
    // The check box's new state: checked enables the MAC address, anything else disables it.
    void braidlinkEnableToggled(int state);

private slots:
    void checkAndAccept();

private:
    // What keeps OK from accepting the fields, naming the field; empty when nothing does.
    QString problem() const;
    // Shows a codec's text in a field, cut as all codec text is shown.
    void showCodecField(QLineEdit* field, const QString& text);
    // The field's text; a cut one the operator left alone stands for the whole text, so that an
    // edit of another field sends it back unchanged.
    QString fieldText(const QLineEdit* field) const;

    std::unique_ptr<Ui::AddEntryClass> ui;
    bool isNameRequired = false;                 // an edited entry keeps a name
    QHash<const QLineEdit*, QString> cutTexts_;  // the whole texts of the fields shown cut
};
