#pragma once

#include <QString>
#include <QTimeZone>

class Message;

// The time zone a schedule file's wall-clock times were written in. The file names it on its root
// ("zone", as localZoneId gives it), so that a file read on a machine whose zone changed keeps
// each time's moment.

struct FileZone {
    // The zone to read the file's times in: valid only for another zone than this machine's in
    // which some time of the file reads otherwise (an alias of this one, "Etc/UTC" under "UTC",
    // reads every moment the same and is no other zone). Invalid: read them as local times.
    QTimeZone written_in;
    // The file names a zone this machine does not know: its times are read as local times, and
    // `unknown_id` is the name as the file gives it, cut short for a notice.
    bool is_unknown = false;
    QString unknown_id;
};

// What the file's root says of its zone; a file that names none (written before the zone was
// kept, or with an empty name) reads in local time. Only a zone this machine knows is opened (isKnownZoneId).
FileZone zoneOf(const Message& root);
// The zone database knows the id: Qt lists it, or it names a zone file of the database by the
// database's own form of name (such as this machine's own "Etc/UTC", or "Europe/Kiev", which Qt's
// list leaves out). Nothing outside the database is looked at: no absolute path, no "..", no
// file that is not a zone file.
bool isKnownZoneId(const QByteArray& id);
// Rewrites an element's times, written in `written_in`, as this zone's readings of their moments.
void retimeElement(Message& element, const QTimeZone& written_in);
