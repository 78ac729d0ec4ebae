#pragma once

#include <QMap>
#include <QString>
#include <QWidget>

#include <memory>

#include "sessions/kt_event.h"

class QLabel;
class QLineEdit;

namespace Ui {
class AlertSoundFields;
}

// The four alert sound rows that the add-codec dialog and "Set Alert Sounds" share: for each device
// event kind a path field, a "Browse..." button and, under the field, a note that appears when OK
// refuses the path. The fields are free text; an empty one means "no sound of the codec's own".
// GUI thread only.
class AlertSoundFields : public QWidget {
    Q_OBJECT

public:
    explicit AlertSoundFields(QWidget* parent = nullptr);
    ~AlertSoundFields() override;

    // The field of a kind other than the four is empty and setting it does nothing.
    QString file(KT_EVENT kind) const;
    // Also remembers `path` as the field's starting text, which checkFiles lets stand: a codec's
    // stored "mute", or a file that has gone since, can be kept by leaving the field alone.
    void setFile(KT_EVENT kind, const QString& path);

    // The grey hint an empty field shows, in all four; the form's says what adding a codec does with
    // a blank field.
    void setBlankFieldHint(const QString& hint);

    // Refuses every field the operator changed to a path that names no file and shows the note
    // under it. Returns the first refused field, for the caller to focus; null when none was.
    QLineEdit* refuseMissingFiles();

public slots:
    void audioConnectBrowse();
    void audioDisconnectBrowse();
    void KTConnectBrowse();
    void KTDisconnectBrowse();

private:
    struct Row {
        QLineEdit* field = nullptr;
        QLabel* note = nullptr;
    };
    Row row(KT_EVENT kind) const;
    // The file dialog's answer replaces the field's text, also when it was cancelled (empty).
    void browseWavFile(QLineEdit* field);

    std::unique_ptr<Ui::AlertSoundFields> ui;
    QMap<KT_EVENT, QString> startingText;  // per kind, as setFile last put it
};
