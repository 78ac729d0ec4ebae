#pragma once

#include <QString>

#include "text/codec_text.h"

class IPCObject;
class QLabel;
class QTreeWidgetItem;

// How text that a codec sent is shown in the program's views. A codec names itself, its peers and
// its profiles, reports states and writes its own log, and any of these may be megabytes long: a
// label, cell or text view laid out with that much text stops the GUI thread for seconds or
// minutes. So every such text is bounded here before it reaches a widget: a name is cut as the
// dialogs cut codec text (shownCodecText, kMaxShownCodecText characters), its tool tip then shows
// it whole up to kToolTipLength, as plain text, and a log line is cut to kLogLineLength. Texts
// within the bounds are shown exactly as they are.
//
// Stateless; GUI thread for the functions that take a widget.
class CodecText {
public:
    static constexpr int kToolTipLength = 1024;
    static constexpr int kLogLineLength = 4096;

    static QString name(const QString& text) { return shownCodecText(text); }
    static QString logLine(const QString& text) { return shownCodecText(text, kLogLineLength); }
    // The tool tip of a name shown cut to `shownLength`: empty when that shows it whole, else the
    // name cut to kToolTipLength as rich text that shows it plain.
    static QString nameToolTip(const QString& text, int shownLength = kMaxShownCodecText);

    // Shows `text` as a name: name() as plain text, followed by `after` (a text of this program's),
    // and nameToolTip() as the tool tip. The label may then be narrower than its text, which it
    // clips, rather than widen its window.
    static void showName(QLabel& label, const QString& text, const QString& after = QString());
    static void showName(QTreeWidgetItem& item, int column, const QString& text);
    // Shows the codec's unitLabel as plain text, with its whole name as the tool tip when the
    // label cuts it.
    static void showUnit(QLabel& label, IPCObject& session);
    static void showUnit(QTreeWidgetItem& item, int column, IPCObject& session);
    // codecHealthText as a tool tip that shows it plain; empty when it is.
    static QString healthToolTip(IPCObject& session);
};
