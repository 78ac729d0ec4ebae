#include "dialogs/row_tone.h"

#include <QBrush>
#include <QTreeWidgetItem>

void setRowTone(QTreeWidgetItem* row, RowTone tone) {
    const QBrush brush(tone == RowTone::Grey ? QColor(128, 128, 128) : QColor(0, 0, 0), Qt::SolidPattern);
    row->setForeground(0, brush);
    row->setForeground(1, brush);
}
