#pragma once

#include <QTimeZone>

class Message;

// The time zone a schedule file's wall-clock times were written in. The file names it on its root
// ("zone", as localZoneId gives it), so that a file read on a machine whose zone changed keeps
// each time's moment.

// The zone the file's times were written in, where it is another than this machine's; invalid
// for a file that names none (written before the zone was kept) or this machine's own.
QTimeZone zoneWrittenIn(const Message& root);
// Rewrites an element's times, written in `written_in`, as this zone's readings of their moments.
void retimeElement(Message& element, const QTimeZone& written_in);
