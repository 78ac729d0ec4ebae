#include "app/dock/list_filter.h"

#include <QLineEdit>

void showFilterResult(QLineEdit* line, bool hasMatch) {
    if (line->text().isEmpty())
        line->setStyleSheet(QStringLiteral("background-color: #FFF;"));
    else if (hasMatch)
        line->setStyleSheet(QStringLiteral("background-color: #FF6;"));
    else
        line->setStyleSheet(QStringLiteral("background-color: #F64;"));
}
