#pragma once

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
};

}  // namespace test_support
