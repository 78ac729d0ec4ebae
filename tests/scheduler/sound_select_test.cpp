#include <gtest/gtest.h>

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QUuid>

#include "scheduler/sound_select.h"
#include "sessions/ipc_object.h"
#include "tests/scheduler/wav_file.h"
#include "tests/support/unplaced_session.h"

namespace {

QLineEdit* field(const SoundSelect& dialog, const char* name) {
    return dialog.findChild<QLineEdit*>(QString::fromLatin1(name));
}

void pressOk(SoundSelect& dialog) {
    dialog.findChild<QDialogButtonBox*>("buttonBox")->button(QDialogButtonBox::Ok)->click();
}

// The codec's sounds go into the dialog; OK stores only fields that name a file, refuses a changed
// field that names none, and lets the codec's own "mute" or vanished file stand unchanged.
TEST(SoundSelect, OkStoresExistingFilesOnly) {
    QTemporaryDir folder;
    const QString old_start = folder.filePath("old_start.wav");
    const QString new_start = folder.filePath("new_start.wav");
    const QString gone = folder.filePath("gone.wav");
    ASSERT_TRUE(wav_file::write(old_start, wav_file::pcm_tone(50)));
    ASSERT_TRUE(wav_file::write(new_start, wav_file::pcm_tone(50)));

    const QUuid uuid = QUuid::createUuid();
    test_support::UnplacedSession session(uuid.toString(), uuid);
    session.setAlertSound(AUDIO_START, old_start);
    session.setAlertSound(AUDIO_END, "mute");
    session.setAlertSound(DEVICE_OFFLINE, gone);

    SoundSelect dialog;
    dialog.fillFrom(session);
    dialog.show();
    EXPECT_EQ(field(dialog, "lineAudioStart")->text(), old_start);
    EXPECT_EQ(field(dialog, "lineAudioFinish")->text(), "mute");
    EXPECT_EQ(field(dialog, "lineConnectsToKT")->text(), "");
    EXPECT_EQ(field(dialog, "lineDisconnectsFromKT")->text(), gone);
    // A blank field keeps the codec's sound here: no hint of a default.
    for (const char* name : {"lineAudioStart", "lineAudioFinish", "lineConnectsToKT", "lineDisconnectsFromKT"}) {
        EXPECT_EQ(field(dialog, name)->placeholderText(), "") << name;
    }

    field(dialog, "lineAudioStart")->setText(new_start);
    field(dialog, "lineConnectsToKT")->setText(folder.filePath("typo.wav"));
    pressOk(dialog);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(dialog.findChild<QLabel*>("errorConnectsToKT")->isVisible());
    EXPECT_FALSE(dialog.findChild<QLabel*>("errorDisconnectsFromKT")->isVisible());

    field(dialog, "lineConnectsToKT")->clear();
    pressOk(dialog);
    ASSERT_EQ(dialog.result(), QDialog::Accepted);
    dialog.storeTo(session);
    EXPECT_EQ(session.alertSound(AUDIO_START), new_start);
    EXPECT_EQ(session.alertSound(AUDIO_END), "mute");
    EXPECT_EQ(session.alertSound(DEVICE_ONLINE), "");
    EXPECT_EQ(session.alertSound(DEVICE_OFFLINE), gone);
}

}  // namespace
