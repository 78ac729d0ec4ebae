#include "ipc/ipc_mutex.h"

IPCMutex::~IPCMutex() = default;

void IPCMutex::lock() {}

void IPCMutex::unlock() {}
