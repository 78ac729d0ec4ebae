#include "app/dock/profile_list_panel.h"

#include <QLineEdit>
#include <QListWidget>
#include <QSignalBlocker>

#include <mutex>

#include "app/dock/list_filter.h"
#include "app/shared/codec_text.h"
#include "sessions/ipc_object.h"

ProfileListPanel::ProfileListPanel(QListWidget* list_, QLineEdit* filterLine_) : list(list_), filterLine(filterLine_) {}

std::optional<LostChoice> ProfileListPanel::refill(IPCObject& session) {
    QList<ProfileInfo> profiles;
    {
        std::lock_guard<SessionMutex> lock(session.mutex());
        profiles = session.profiles;
    }
    // The choice is held by id and name: a codec may give a removed profile's id to a new one, and
    // another client may rename it. Taken as a copy: the row itself goes with the rebuild.
    const QListWidgetItem* chosenItem = selectedProfileItem();
    const QStringList chosen = chosenItem ? QStringList{chosenItem->data(kProfileIdRole).toString(),
                                                        chosenItem->data(kProfileNameRole).toString()}
                                          : QStringList();
    QListWidgetItem* chosenAgain = nullptr;
    QStringList listedUnderId;
    // The rebuild is no choice of the operator's: its selection changes reach no one.
    const QSignalBlocker blocker(list);
    list->clear();
    for (const ProfileInfo& profile : profiles) {
        const QString shown = CodecText::name(profile.name);
        auto* item = new QListWidgetItem(profile.isDefault ? QLatin1Char('<') + shown + QLatin1Char('>') : shown);
        item->setToolTip(CodecText::nameToolTip(profile.name));
        item->setData(kProfileNameRole, profile.name);
        item->setData(kProfileIdRole, profile.id);
        item->setData(kProfileFactoryRole, profile.factory);
        item->setData(kProfileDefaultRole, profile.isDefault);
        list->addItem(item);
        if (chosen.isEmpty() || chosenAgain || profile.id != chosen.first()) continue;
        if (profile.identity() == chosen || session.sentProfileRenames.isSent(chosen, profile.identity())) {
            chosenAgain = item;
        } else if (listedUnderId.isEmpty()) {
            listedUnderId = profile.identity();
        }
    }
    // A profile the operator removed here goes without a word: the list only did as asked.
    if (chosen.isEmpty() || (!chosenAgain && session.sentProfileRenames.isRemoved(chosen))) return std::nullopt;
    if (!chosenAgain) return LostChoice{LostChoice::Kind::kProfile, chosen, listedUnderId};
    list->setCurrentItem(chosenAgain);
    return std::nullopt;
}

void ProfileListPanel::clear() {
    list->clear();
}

QListWidgetItem* ProfileListPanel::selectedProfileItem() const {
    return list->selectedItems().value(0);
}

void ProfileListPanel::selectProfileById(const QString& id, const QString& defaultProfileId) {
    if (id == QLatin1String("0") && !defaultProfileId.isEmpty()) {
        selectDefaultProfile();
        return;
    }
    if (QListWidgetItem* row = findRow(kProfileIdRole, id)) list->setCurrentItem(row);
}

void ProfileListPanel::selectDefaultProfile() {
    if (QListWidgetItem* row = findRow(kProfileDefaultRole, true)) list->setCurrentItem(row);
}

QListWidgetItem* ProfileListPanel::findRow(int role, const QVariant& value) const {
    for (int row = 0; row < list->count(); ++row) {
        if (list->item(row)->data(role) == value) return list->item(row);
    }
    return nullptr;
}

void ProfileListPanel::applyFilter() {
    showFilterResult(filterLine, filterProfileList(list, filterLine->text()));
}

bool ProfileListPanel::filterProfileList(QListWidget* list, const QString& text) {
    bool hasMatch = text.isEmpty();
    for (int row = 0; row < list->count(); ++row) {
        QListWidgetItem* item = list->item(row);
        const bool isShown = text.isEmpty() || item->text().contains(text, Qt::CaseInsensitive);
        item->setHidden(!isShown);
        hasMatch = hasMatch || isShown;
    }
    return hasMatch;
}
