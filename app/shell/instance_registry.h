#pragma once

#include <QMap>
#include <QString>
#include <QUuid>

#include <memory>
#include <mutex>

class CodecSessions;
class IPCObject;

// The process-wide objects every view shares, built before main runs and never replaced.
//
// instanceMap: every live codec session under its instance key (the QUuid it was made with), in
// key order, which is random and unrelated to the order of the tiles. MainWindow::createInstance
// is the only insertion and ZorvaSummary::removeInstance the only removal. The map does not own
// the sessions: a session ends only through IPCObject::markForDeletion, which deletes it later,
// so a queued signal may still name a key that is gone; every user looks the key up and ignores
// a miss.
// Threads: GUI thread only, without a lock.
extern QMap<QUuid, IPCObject*> instanceMap;

// Serialises the reader and the writers of kt-config.xml; guards nothing else. Never held across a
// message box, nor taken twice by one caller. A standard mutex, which ThreadSanitizer sees.
extern std::mutex configMutex;

// The session under `key`, or null when none is registered.
IPCObject* findInstance(const QUuid& key);
// The first session in key order whose address text and port are exactly these; null when none.
IPCObject* findInstanceByAddress(const QString& host, int port);
// Whether any registered session is READY.
bool anyInstanceReady();
// The registry as the scheduler reads it: sessions looked up by key, listed in key order.
std::shared_ptr<CodecSessions> registeredSessions();
// Ends every session still registered and empties the map; at exit, once the workers have stopped.
void releaseAllInstances();
