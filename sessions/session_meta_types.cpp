#include "sessions/session_meta_types.h"

#include "sessions/failure_effect.h"
#include "sessions/iq_endpoint_client.h"
#include "sessions/kt_event.h"
#include "sessions/log_line.h"

void register_session_meta_types() {
    qRegisterMetaType<Message>("Message");
    qRegisterMetaType<KT_EVENT>("KT_EVENT");
    qRegisterMetaType<LogLine>("LogLine");
    qRegisterMetaType<FailureEffect>("FailureEffect");
    // By the name a connection made by signature uses.
    qRegisterMetaType<IQEndpointClient::DEVICE_STATE>("IQEndpointClient::DEVICE_STATE");
}
