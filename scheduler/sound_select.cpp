#include "scheduler/sound_select.h"

#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>

#include "scheduler/device_event_handler.h"
#include "sessions/ipc_object.h"
#include "ui_sound_select.h"

SoundSelect::SoundSelect(QWidget* parent) : QDialog(parent), ui(new Ui::SoundSelect) {
    ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    // Here a blank field keeps the codec's sound; the default plays only where the codec has none.
    ui->soundFields->setBlankFieldHint(QString());
    connect(ui->buttonBox, &QDialogButtonBox::accepted, this, &SoundSelect::checkAndAccept);
    connect(ui->buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

SoundSelect::~SoundSelect() = default;

QString SoundSelect::audioConnectFile() const {
    return ui->soundFields->file(AUDIO_START);
}

QString SoundSelect::audioDisconnectFile() const {
    return ui->soundFields->file(AUDIO_END);
}

QString SoundSelect::KTConnectFile() const {
    return ui->soundFields->file(DEVICE_ONLINE);
}

QString SoundSelect::KTDisconnectFile() const {
    return ui->soundFields->file(DEVICE_OFFLINE);
}

void SoundSelect::setAudioConnectFile(const QString& path) {
    ui->soundFields->setFile(AUDIO_START, path);
}

void SoundSelect::setAudioDisconnectFile(const QString& path) {
    ui->soundFields->setFile(AUDIO_END, path);
}

void SoundSelect::setKTConnectFile(const QString& path) {
    ui->soundFields->setFile(DEVICE_ONLINE, path);
}

void SoundSelect::setKTDisconnectFile(const QString& path) {
    ui->soundFields->setFile(DEVICE_OFFLINE, path);
}

void SoundSelect::fillFrom(const IPCObject& session) {
    for (KT_EVENT kind : DeviceEventHandler::allEvents()) ui->soundFields->setFile(kind, session.alertSound(kind));
}

void SoundSelect::storeTo(IPCObject& session) const {
    for (KT_EVENT kind : DeviceEventHandler::allEvents()) {
        const QString path = ui->soundFields->file(kind);
        if (QFileInfo(path).isFile()) session.setAlertSound(kind, path);
    }
}

void SoundSelect::checkAndAccept() {
    if (QLineEdit* refused = ui->soundFields->refuseMissingFiles()) {
        refused->setFocus();
        return;
    }
    accept();
}
