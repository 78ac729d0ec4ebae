#pragma once

#include <QString>
#include <Qt>

#include <optional>

#include "text/lost_choice.h"

class IPCObject;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QVariant;

// The data roles of a profile row.
constexpr int kProfileNameRole = Qt::UserRole + 6;     // the profile's name (text)
constexpr int kProfileIdRole = Qt::UserRole + 7;       // its id, as the codec wrote it (text)
constexpr int kProfileFactoryRole = Qt::UserRole + 8;  // a factory profile (bool)
constexpr int kProfileDefaultRole = Qt::UserRole + 9;  // the unit's default profile (bool)

// The "Profiles" list of the dock's Connections tab and its filter line: one row per profile of
// the codec shown, in the codec's order, the unit's default profile written "<name>". The row the
// operator selects is the profile the Connect button uses.
//
// Threads: GUI thread only; the session's profiles are copied under its mutex.
class ProfileListPanel {
public:
    ProfileListPanel(QListWidget* list, QLineEdit* filterLine);

    // Rebuilds every row from the session's last profile list, with the list's signals blocked. The
    // selected profile stays selected while the new list holds its id by the same name, or by the
    // name this program sent for it (IPCObject::sentProfileRenames); otherwise none is, and what
    // became of the one that was is returned, unless this program sent its removal.
    std::optional<LostChoice> refill(IPCObject& session);
    void clear();

    // The first selected row, or null.
    QListWidgetItem* selectedProfileItem() const;

    // Makes the profile `id` current. A peer's profile "0" stands for the unit's default profile:
    // with `defaultProfileId` set it selects the row marked default (none: nothing changes).
    // Otherwise the first row with that id; none: nothing changes.
    void selectProfileById(const QString& id, const QString& defaultProfileId);
    void selectDefaultProfile();

    // As PeerTreePanel::applyFilter, on the profile names.
    void applyFilter();
    static bool filterProfileList(QListWidget* list, const QString& text);

private:
    // The first row whose `role` holds `value`; null when none.
    QListWidgetItem* findRow(int role, const QVariant& value) const;

    QListWidget* list;      // the form's; not owned
    QLineEdit* filterLine;  // the form's; not owned
};
