#pragma once

#include <QString>
#include <QStringList>

class QAction;
class QLineEdit;
class QListWidget;
class QPoint;

// What the dialogs that edit a codec's alert e-mail list share: the hidden e-mail page of adding a
// codec, assigning addresses to several codecs and managing the active codec's list. The lists
// are kept in memory only and nothing sends to them, so the Add rule catches slips of typing; it
// is no check that an address exists. GUI thread only.

// Whether Add takes `text`: it holds an "@" and a "." and is longer than 5 characters.
bool isAddableAlertAddress(const QString& text);
// Appends the line's text, as typed and even when the list holds it already, at the end of `list`
// and empties the line; nothing when the line is empty.
void appendTypedAddress(QLineEdit& line, QListWidget& list);
// The list's texts, top to bottom, edits included.
QStringList addressTexts(const QListWidget& list);
// Takes the first selected item out of `list` and deletes it; nothing when none is selected.
void removeSelectedAddress(QListWidget& list);
// Pops up a menu holding only `remove` at `position` in `list`, and returns once it has closed.
void popUpAddressMenu(QListWidget& list, QAction& remove, const QPoint& position);
