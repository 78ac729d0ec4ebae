#pragma once

#include <QMetaObject>
#include <QString>

#include <string>

#include "ipc/message/message.h"
#include "sessions/ipc_object.h"

namespace test_support {

// A codec session that is never placed on a pool, for tests and fuzzers that drive its parsers
// directly. A program's session ends only through markForDeletion(); this one may also live on the
// stack, since no manager and no loop can reach it.
class UnplacedSession : public IPCObject {
public:
    using IPCObject::IPCObject;
    ~UnplacedSession() override = default;
    // Tells a failure as the loop's hooks would.
    using IQEndpointClient::note_fault;

    // Takes `xml` as the codec's newest report `name` ("peerStats") and runs its parser, as the
    // session does once such a report came; false when there is no parser of that name.
    bool receive(const char* name, const std::string& xml) {
        cache_message(Message(xml), QString::fromLatin1(name));
        return QMetaObject::invokeMethod(this, ("cb_resp_" + std::string(name)).c_str(), Qt::DirectConnection);
    }
};

}  // namespace test_support
