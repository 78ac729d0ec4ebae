#include "text/error_reason.h"

namespace {

// An operation's name: a C identifier, as the library and the program name their operations.
bool isOperationName(QStringView text) {
    if (text.isEmpty() || text.front().isDigit()) return false;
    for (const QChar c : text) {
        if (!(c.isLetterOrNumber() && c.unicode() < 0x80) && c != QLatin1Char('_')) return false;
    }
    return true;
}

}  // namespace

QString errorReason(const char* what) {
    QString reason = QString::fromUtf8(what);
    for (int colon = reason.indexOf(QLatin1String(": ")); colon > 0; colon = reason.indexOf(QLatin1String(": "))) {
        if (!isOperationName(QStringView(reason).left(colon))) break;
        reason.remove(0, colon + 2);
    }
    return reason;
}
