#pragma once

#include <QMap>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QUuid>
#include <QWidget>

#include <memory>
#include <string>
#include <vector>

#include "dialogs/option_editor_pages.h"
#include "dialogs/settings_tree.h"
#include "dialogs/settings_working_copies.h"
#include "ipc/message/message.h"
#include "sessions/iq_endpoint_client.h"

class IPCObject;
class QTreeWidgetItem;

namespace Ui {
class SettingsEdit;
}

// The settings page of the details dock: the active codec's system, directory-server, channel and
// tunnel options as a tree beside an editor of the selected option's type. Edits change working
// copies of the codec's replies; "Save Changes" checks every edited value and then sends each
// edited part as one request, all of them or, when the codec is not READY, none; "Discard Changes"
// forgets the edits and goes back to what the codec last reported, whether it is there or not.
// While the codec has not answered a save, Save reads "Saving…" and sends nothing more (a save
// clicked again at a slow codec would go again). The page fills itself when its codec becomes READY
// and again whenever the codec reports new values, so after a save it shows what the codec took; a codec's front panel
// or another client may change any option at any moment.
//
// The copies belong to the codec attached: attaching another (or none) empties them. The page acts
// only while its codec is READY; one that drops keeps its tree until it is READY again. Each fill
// makes the edits not yet saved again on what the codec reports; lines under the tree name each
// edit it cannot take and each kept one whose option the codec changed, until Save or Discard.
// A report leaves the row in the editor chosen, and what is being typed there as it is.
//
// Threads: GUI thread only. The session's cache and peers are read through its own locked calls.
class SettingsEdit : public QWidget {
    Q_OBJECT

public:
    explicit SettingsEdit(QWidget* parent = nullptr);
    ~SettingsEdit() override;

    // Attaches the page to `session` (null: none), cutting the previous one off.
    void setIPCObject(IPCObject* session);

    // Copies of what the page holds of the codec's "sysOptions", "codecList" and tunnel settings'
    // "node", edits included.
    Message pendingSysOptions() const { return copies.pendingSysOptions; }
    Message codecList() const { return copies.codecList; }
    Message braidlinkNode() const { return copies.braidlinkNode; }

    // Whether `item` sits under another row: option rows do, group rows do not.
    static bool hasParentItem(const QTreeWidgetItem* item);
    // Leaves only "name" and "value" in `attributes` when it holds both (true); otherwise changes
    // nothing (false).
    static bool keepNameAndValue(Message::Attributes& attributes);

signals:
    // Connected to the main window, never emitted: the page sends through the session itself.
    void saveRequested(Message message);

public slots:
    // Rebuilds the tree (`collapse`: folded) with the row of `keptKey` chosen again, its editor
    // filled anew where it stands, the focus left in it; with no such row, none is chosen.
    void populate_all(bool collapse = false, const QString& keptKey = QString());
    // Rebuilds the tree from the copies; the filter, order and editor are left to populate_all.
    void populate_system();
    void changeSelection();
    void intChanged(int value);
    void boolChanged(int state);
    void textChanged(const QString& text);
    void selectChanged(int index);
    void codecChanged(int index);
    void defaultClicked();
    void saveClicked();
    void resetClicked();
    void advanceToggle(bool);
    void peerlistUpdated(QUuid);
    void sysOptionsUpdated(QUuid);
    void systemOptsUpdated();
    void channelOptionsUpdated(QUuid);
    void channelListUpdated(QUuid);
    void directoryServerUpdated(QUuid);
    void braidlinkUpdated(QUuid);
    void statechange(QUuid, IQEndpointClient::DEVICE_STATE state);
    void braidlinkSettingsChanged();
    void clearStringText();

protected:
    // The spin box's number as the operator left it, before Enter puts its last value back or
    // another row's value replaces it: Enter with a number it cannot take goes to Save as it
    // stands, and a focus that leaves (a click on Save moves it to the dock's scroll area, a click
    // on another row to the tree) keeps what Save must say of it.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void connectWidgets();
    void connectSession(IPCObject& session);
    bool isReady() const;
    // The one way the page takes the codec's values: at READY, on each of its reports and on
    // Discard. The copies become what the codec reported last (read again while it is READY), the
    // edits recorded are made again on them, and the tree is rebuilt (`collapse`: folded). The
    // restore names every edit it drops, and every kept one whose option the codec changed.
    // `keepsEditor`: the row in the editor stays chosen while the codec still has its option.
    void refreshFromDevice(bool collapse, bool keepsEditor = false);
    // A report from the codec while the page is loaded and the codec READY refreshes it.
    void takeNews();
    // A number still being typed into the spin box is taken as an edit, or noted for Save when the
    // box cannot take it. Only for a rebuild that clears the editor: news leaves the number typed.
    void takeTypedNumber();
    // The lines under the tree, one per option, naming what became of its edit; hidden when there
    // are none. A later line of the same option replaces the earlier.
    void addEditLines(const QMap<QString, QString>& lines);
    void clearEditLines();
    // Reads the codec's replies and descriptors from the session into `reported`.
    void takeReported();
    void parseDescriptors();
    // What the box says of `value`, typed into the spin box for the option in the editor; empty when
    // the codec takes it.
    QString checkTypedNumber(const QString& value) const;
    // What is wrong with the number in the spin box; empty when it can take it.
    QString spinBoxProblem() const;
    QList<PeerMetaPtr> sessionPeers() const;

    // The editor.
    void showNoSelection();
    void setValueLabelsVisible(bool visible);
    void showEditor(const QString& key);
    void fillIntPage(const SettingOption& option, const QString& current);
    void fillBoolPage(const SettingOption& option, const QString& current);
    void fillStringPage(const SettingOption& option, const QString& current);
    void fillSelectPage(const SettingOption& option, const QString& current);
    void fillCodecPage(const SettingOption& option, const QString& current);
    // The selected option row; null when none is, or a group row is.
    QTreeWidgetItem* selectedOptionRow() const;
    // The option row of options key `key`; null when there is none.
    QTreeWidgetItem* optionRow(const QString& key) const;
    // An edit of the selected row: recorded into the copies, then shown bold as `shown`.
    void recordEdit(const QString& shown, const QString& value);
    // Save is there to be clicked when `isWanted`, unless a save awaits the codec's answer.
    void setSaveEnabled(bool isWanted);
    // Whether the codec has answered every request of the last save; Save shows which.
    void showSaving();

    std::unique_ptr<Ui::SettingsEdit> ui;
    SettingsWorkingCopies reported;    // what the codec reported last, without edits
    SettingsWorkingCopies copies;      // `reported` with the operator's edits made on it
    QMap<QString, QString> editLines;  // option key -> what became of its edit; until Save or Discard
    SettingsTree tree;
    OptionEditorPages pages;
    QString shownKey;       // the options key of the option in the editor; empty when none
    bool updating = false;  // the page fills its own widgets: their signals are no edits
    bool loaded = false;    // the copies hold the attached session's settings
    QPointer<IPCObject> session;
    bool isSaveWanted_ = false;           // Save has something to send or to say
    std::vector<std::string> savedSeqs_;  // the seqs of the last save's requests still awaited
};
