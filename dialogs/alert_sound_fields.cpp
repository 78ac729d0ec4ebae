#include "dialogs/alert_sound_fields.h"

#include <QFileDialog>
#include <QFileInfo>

#include "ui_alert_sound_fields.h"

namespace {

const KT_EVENT kKinds[] = {AUDIO_START, AUDIO_END, DEVICE_ONLINE, DEVICE_OFFLINE};

}  // namespace

AlertSoundFields::AlertSoundFields(QWidget* parent) : QWidget(parent), ui(new Ui::AlertSoundFields) {
    ui->setupUi(this);
    connect(ui->browseLineAudioStart, &QPushButton::clicked, this, &AlertSoundFields::audioConnectBrowse);
    connect(ui->browseLineAudioFinish, &QPushButton::clicked, this, &AlertSoundFields::audioDisconnectBrowse);
    connect(ui->browseLineConnectsToKT, &QPushButton::clicked, this, &AlertSoundFields::KTConnectBrowse);
    connect(ui->browseLineDisconnectsFromKT, &QPushButton::clicked, this, &AlertSoundFields::KTDisconnectBrowse);
    for (KT_EVENT kind : kKinds) {
        const Row r = row(kind);
        r.note->hide();
        // A refusal stands until the operator touches the field again.
        connect(r.field, &QLineEdit::textChanged, r.note, &QLabel::hide);
    }
}

AlertSoundFields::~AlertSoundFields() = default;

AlertSoundFields::Row AlertSoundFields::row(KT_EVENT kind) const {
    switch (kind) {
    case AUDIO_START: return {ui->lineAudioStart, ui->errorAudioStart};
    case AUDIO_END: return {ui->lineAudioFinish, ui->errorAudioFinish};
    case DEVICE_ONLINE: return {ui->lineConnectsToKT, ui->errorConnectsToKT};
    case DEVICE_OFFLINE: return {ui->lineDisconnectsFromKT, ui->errorDisconnectsFromKT};
    case NO_EVENT: break;
    }
    return {};
}

QString AlertSoundFields::file(KT_EVENT kind) const {
    const Row r = row(kind);
    return r.field ? r.field->text() : QString();
}

void AlertSoundFields::setFile(KT_EVENT kind, const QString& path) {
    const Row r = row(kind);
    if (!r.field) return;
    r.field->setText(path);
    r.note->hide();
    startingText.insert(kind, path);
}

void AlertSoundFields::setBlankFieldHint(const QString& hint) {
    for (KT_EVENT kind : kKinds) row(kind).field->setPlaceholderText(hint);
}

QLineEdit* AlertSoundFields::refuseMissingFiles() {
    QLineEdit* first_refused = nullptr;
    for (KT_EVENT kind : kKinds) {
        const Row r = row(kind);
        const QString path = r.field->text();
        const bool is_refused = !path.isEmpty() && path != startingText.value(kind) && !QFileInfo(path).isFile();
        r.note->setVisible(is_refused);
        if (is_refused && !first_refused) first_refused = r.field;
    }
    return first_refused;
}

void AlertSoundFields::audioConnectBrowse() {
    browseWavFile(ui->lineAudioStart);
}

void AlertSoundFields::audioDisconnectBrowse() {
    browseWavFile(ui->lineAudioFinish);
}

void AlertSoundFields::KTConnectBrowse() {
    browseWavFile(ui->lineConnectsToKT);
}

void AlertSoundFields::KTDisconnectBrowse() {
    browseWavFile(ui->lineDisconnectsFromKT);
}

void AlertSoundFields::browseWavFile(QLineEdit* field) {
    field->setText(QFileDialog::getOpenFileName(this, tr("Open WAV File"), QString(), tr("*.wav")));
}
