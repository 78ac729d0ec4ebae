#pragma once

#include <QDialog>
#include <QString>

#include <memory>

class IPCObject;

namespace Ui {
class SoundSelect;
}

// "Set Alert Sounds": the active codec's sound file for each device event kind. The caller fills
// it from the session, runs it, and on OK stores the fields back. OK refuses a path the operator
// typed or picked that names no file, saying so under the field; an empty field leaves the
// codec's sound as it was.
// GUI thread only.
class SoundSelect : public QDialog {
    Q_OBJECT

public:
    explicit SoundSelect(QWidget* parent = nullptr);
    ~SoundSelect() override;

    QString audioConnectFile() const;     // AUDIO_START
    QString audioDisconnectFile() const;  // AUDIO_END
    QString KTConnectFile() const;        // DEVICE_ONLINE
    QString KTDisconnectFile() const;     // DEVICE_OFFLINE
    void setAudioConnectFile(const QString& path);
    void setAudioDisconnectFile(const QString& path);
    void setKTConnectFile(const QString& path);
    void setKTDisconnectFile(const QString& path);

    // Puts the session's four sounds into the fields.
    void fillFrom(const IPCObject& session);
    // Stores each field that names an existing file as the session's sound for its kind; the
    // others leave the session's sound as it was.
    void storeTo(IPCObject& session) const;

private slots:
    void checkAndAccept();

private:
    std::unique_ptr<Ui::SoundSelect> ui;
};
