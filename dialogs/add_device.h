#pragma once

#include <QDialog>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <utility>

class IPCObject;
class QIntValidator;
class QLabel;
class QLineEdit;
class QListWidgetItem;
class QPoint;

namespace Ui {
class AddDeviceClass;
}

// The dialog in which the operator adds one codec: its numeric address and management port on the
// "General" tab, and optionally a sound file per device event on the "Sounds" tab. OK checks the
// fields and stays open, saying why beside each field it refuses; the caller reads the fields only
// after the dialog was accepted. The form's "Email" page is taken out when the dialog is built;
// its widgets still work, but the add road does not read them.
// GUI thread only.
class AddDevice : public QDialog {
    Q_OBJECT

public:
    static constexpr int kMinPort = 23;
    static constexpr int kMaxPort = 65535;

    explicit AddDevice(QWidget* parent = nullptr);
    ~AddDevice() override;

    // The address field without surrounding blanks: a numeric IPv4 or IPv6 address once accepted.
    QString address() const;
    // The port field's number: kMinPort to kMaxPort once accepted.
    int port() const;

    QString audioConnectFile() const;     // AUDIO_START
    QString audioDisconnectFile() const;  // AUDIO_END
    QString KTConnectFile() const;        // DEVICE_ONLINE
    QString KTDisconnectFile() const;     // DEVICE_OFFLINE
    void setAudioConnectFile(const QString& path);
    void setAudioDisconnectFile(const QString& path);
    void setKTConnectFile(const QString& path);
    void setKTDisconnectFile(const QString& path);

    // The codecs already in the fleet, by address and port: OK refuses the same codec again.
    void setFleetAddresses(const QList<std::pair<QString, int>>& addresses);

    // Stores each sound field that names an existing file as the session's sound for its kind; an
    // empty field leaves the kind to the default.
    void storeSoundsTo(IPCObject& session) const;

    // The e-mail page's list, top to bottom.
    QStringList emailAddresses() const;

    // Why a text is not a codec's address or port; empty when it is one. The program resolves no
    // host names, so an address must be numeric.
    static QString addressProblem(const QString& text);
    static QString portProblem(const QString& text);

public slots:
    void removeAddress();
    void editItem(QListWidgetItem* item);
    void addressListContextMenu(const QPoint& position);
    void emailAddClicked();
    void lineEditChanged(const QString& text);

private slots:
    // OK: accepts only when every field holds something the add road can use.
    void checkAndAccept();

private:
    // Why the fields name a codec already in the fleet; empty when they do not.
    QString fleetProblem() const;
    // Shows `problem` under the field (or hides the note when it is empty); true when it is empty.
    static bool showProblem(QLabel* note, const QString& problem);

    std::unique_ptr<Ui::AddDeviceClass> ui;
    QIntValidator* portValidator;  // owned by the dialog
    QList<std::pair<QString, int>> fleetAddresses;
};
