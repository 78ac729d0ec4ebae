#include "ipc/base/ipc_mutex.h"

IPCMutex::~IPCMutex() = default;

void IPCMutex::lock() {}

void IPCMutex::unlock() {}
