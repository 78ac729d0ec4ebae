#include "app/shared/codec_text.h"

#include <QLabel>
#include <QTextDocument>
#include <QTreeWidgetItem>

#include "sessions/ipc_object.h"
#include "text/connection_fault_text.h"
#include "text/unit_label.h"

QString CodecText::nameToolTip(const QString& text, int shownLength) {
    if (text.size() <= shownLength) return QString();
    return Qt::convertFromPlainText(shownCodecText(text, kToolTipLength), Qt::WhiteSpaceNormal);
}

QString CodecText::healthToolTip(IPCObject& session) {
    const QString health = codecHealthText(session);
    return health.isEmpty() ? QString() : Qt::convertFromPlainText(health, Qt::WhiteSpacePre);
}

void CodecText::showName(QLabel& label, const QString& text, const QString& after) {
    // A label asks its layout for room for its whole text: a long name would widen the window.
    label.setMinimumWidth(1);
    label.setTextFormat(Qt::PlainText);
    label.setText(name(text) + after);
    label.setToolTip(nameToolTip(text));
}

void CodecText::showName(QTreeWidgetItem& item, int column, const QString& text) {
    item.setText(column, name(text));
    item.setToolTip(column, nameToolTip(text));
}

void CodecText::showUnit(QLabel& label, IPCObject& session) {
    showName(label, unitLabel(session));
    label.setToolTip(nameToolTip(session.unitName(), kMaxUnitLabelLength));
}

void CodecText::showUnit(QTreeWidgetItem& item, int column, IPCObject& session) {
    item.setText(column, unitLabel(session));
    item.setToolTip(column, nameToolTip(session.unitName(), kMaxUnitLabelLength));
}
