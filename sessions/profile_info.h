#pragma once

#include <QString>
#include <QStringList>

// One stored profile of a codec, as the profile list names it. A plain value: the session keeps
// them in `profiles` and views copy them.
struct ProfileInfo {
    QString id;              // the "profile" node's "id", compared as text
    QString name;            // "name" of its first "settings" child
    bool factory = false;    // "factory" of that "settings" child
    bool isDefault = false;  // the "profile" node's "default": the unit's default profile

    // What a view holds a chosen profile by: {id, name}.
    QStringList identity() const { return {id, name}; }
};
