#pragma once

#include <QDialog>
#include <QMap>
#include <QString>

#include <memory>

#include "dialogs/option_editor_pages.h"
#include "dialogs/profile_codec_data.h"
#include "ipc/message/message.h"

class QWidget;

namespace Ui {
class ProfileEditClass;
}

// "Profile Editor": one profile of one codec (its name, its channel, and the values of the
// channel's profile options for the local codec and for the remote codecs) as a tree beside an
// editor of the selected setting. Every change is written into the dialog's copy of the profile
// at once and the tree is rebuilt from it; Save checks what was set in this edit and, when all of
// it can go to the codec, accepts. The dialog sends nothing and talks to no session: the caller
// sends profile() after Save.
//
// One dialog serves every edit of the run; "Show Advanced Settings" stays as the operator left it.
//
// Threads: GUI thread only.
class ProfileEdit : public QDialog {
    Q_OBJECT

public:
    explicit ProfileEdit(QWidget* parent = nullptr);
    ~ProfileEdit() override;

    // Starts the edit of `profile` (a "profile" element of a codec's profile list) with the same
    // codec's data, and selects "Profile Name". Earlier edits are forgotten.
    void startEdit(const Message& profile, const ProfileCodecData& codecData);
    // The profile with every edit of this edit written into its "settings", "local" or "remote"
    // child (added where an edit needed one); everything else as it came.
    const Message& profile() const { return profile_; }

public slots:
    // Save: accepts only when every value set in this edit, and the spin box's text, can go to
    // the codec, and no number typed in this edit was refused; otherwise a "Profile Editor" box
    // says what must change, and the edit stays open.
    void accept() override;

private slots:
    void populateProfileItems();
    void changeSelection();
    // Opens the editor on the selected setting row, when one is selected; a group row or none
    // disables the editor.
    void editSelected();
    void intChanged(int new_int);
    void boolChanged(int new_bool);
    void textChanged(const QString& new_string);
    void selectChanged(int new_idx);
    void codecChanged(int new_idx);
    void defaultClicked();
    void clearStringText();

protected:
    // Enter in the spin box with a text it cannot take goes to Save as it stands, rather than
    // having the spin box put its last value back first; a focus that leaves it so keeps what
    // Save must say of it.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // A setting written in this edit, for the checks on Save.
    struct Edit {
        QString side;
        QString name;
        QString channel;  // the profile's channel when it was written
    };

    void connectWidgets();
    void showNoSetting();
    // Shows the setting `option` of type `type` on `side` ("settings", "local" or "remote"), an
    // option of the channel `channel`.
    void populateProfileItem(const QString& channel, const QString& option, const QString& type, const QString& side);
    // The setting shown, as `edits` keys it.
    QString shownKey() const;
    // The descriptor of the setting shown; null for the global rows, or an option the codec no
    // longer describes.
    const SettingOption* shownOption() const;
    // What the box says of `value`, typed into the spin box for the setting shown; empty when the
    // codec takes it.
    QString checkTypedNumber(const QString& value) const;
    void setupEditorPage();
    void fillOptionPage(const SettingOption& option);
    void fillBoolPage(const SettingOption& option);
    void fillCodecPage(const SettingOption& option);
    void fillNamePage();
    void fillChannelPage();
    // Shows what codec `value` is and makes it the pending value; nothing when it is none.
    void describeCodecValue(const QString& value);
    // Writes pendingValue into the profile and rebuilds the tree, which shows the same setting
    // again (or "Profile Name" after a global one); then gives `editor` the focus back.
    void applySetting(QWidget* editor);
    // The first value written in this edit, or the name, that cannot go to the codec, and why;
    // empty when none.
    QString editProblem() const;
    // What `edit` is checked against when the profile goes out on `channel`.
    SettingOption describedSetting(const Edit& edit, const QString& channel) const;

    std::unique_ptr<Ui::ProfileEditClass> ui;
    OptionEditorPages pages;
    bool updating = false;  // the editor fills its page: its widgets' signals are no edits
    Message profile_;
    ProfileCodecData data;
    QString selectedKey;  // the option row selected last (ProfileTree::rowKey); kept over rebuilds
    // The setting shown in the editor.
    QString pendingValue;
    QString defaultValue;
    QString option_id;
    QString option_type;
    QString locale;
    QString channel_id;
    QMap<QString, Edit> edits;  // by side and name
};
