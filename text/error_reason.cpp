#include "text/error_reason.h"

#include <string_view>

#include "ipc/base/exception.h"

QString errorReason(const char* what) {
    const std::string_view reason = ipc_error_reason(what);
    return QString::fromUtf8(reason.data(), static_cast<int>(reason.size()));
}
