#include "tests/support/qt_printers.h"

#include <QString>
#include <QStringList>
#include <QVector>

#include <cstdio>

void PrintTo(const QString& text, std::ostream* out) {
    *out << '"';
    for (const uint codePoint : text.toUcs4()) {
        if (codePoint == '"' || codePoint == '\\') {
            *out << '\\' << static_cast<char>(codePoint);
        } else if (QChar::isPrint(codePoint)) {
            *out << QString::fromUcs4(&codePoint, 1).toStdString();
        } else {
            char escaped[16];
            std::snprintf(escaped, sizeof escaped, "\\u{%X}", codePoint);
            *out << escaped;
        }
    }
    *out << '"';
}

void PrintTo(const QStringList& texts, std::ostream* out) {
    *out << '{';
    for (int i = 0; i < texts.size(); ++i) {
        *out << (i == 0 ? " " : ", ");
        PrintTo(texts.at(i), out);
    }
    *out << (texts.isEmpty() ? "}" : " }");
}
