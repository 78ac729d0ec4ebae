#include "dialogs/alert_address_list.h"

#include <QLineEdit>
#include <QListWidget>
#include <QMenu>

bool isAddableAlertAddress(const QString& text) {
    return text.contains(QLatin1Char('@')) && text.contains(QLatin1Char('.')) && text.size() > 5;
}

void appendTypedAddress(QLineEdit& line, QListWidget& list) {
    if (line.text().isEmpty()) return;
    list.addItem(line.text());
    line.clear();
}

QStringList addressTexts(const QListWidget& list) {
    QStringList texts;
    for (int row = 0; row < list.count(); ++row) texts << list.item(row)->text();
    return texts;
}

void removeSelectedAddress(QListWidget& list) {
    delete list.selectedItems().value(0);
}

void popUpAddressMenu(QListWidget& list, QAction& remove, const QPoint& position) {
    QMenu menu(&list);
    menu.addAction(&remove);
    menu.exec(list.mapToGlobal(position));
}
