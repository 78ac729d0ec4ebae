// The schedule file's reader over files of any shape: the bytes decoded as a file is read, loaded
// into a scheduler whose one codec answers at 192.0.2.1:5004, written, and one pass run. Nothing may
// throw, crash or read out of bounds, a load keeps its bound on jobs, and what a load wrote loads
// again to the same file.
#include <QCoreApplication>
#include <QString>
#include <QUuid>
#include <QtGlobal>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "dialogs/message_box.h"
#include "ipc/base/exception.h"
#include "ipc/message/message.h"
#include "scheduler/codec_sessions.h"
#include "scheduler/scheduler.h"

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

void discard(QtMsgType, const QMessageLogContext&, const QString&) {}

// One ready codec with peers 1 to 4 listed and none in a call; commands go nowhere.
class OneCodec : public CodecSessions {
public:
    const QUuid codec = QUuid::createUuid();

    void watch(const QUuid&) override {}
    bool isRegistered(const QUuid& uuid) const override { return uuid == codec; }
    QUuid findByAddress(const QString& host, int port) const override {
        return host == QLatin1String("192.0.2.1") && port == 5004 ? codec : QUuid();
    }
    bool address(const QUuid& uuid, QString& host, int& port) const override {
        if (uuid != codec) return false;
        host = QStringLiteral("192.0.2.1");
        port = 5004;
        return true;
    }
    bool isReady(const QUuid& uuid) const override { return uuid == codec; }
    bool isPeerActive(const QUuid&, const QString&) const override { return false; }
    QStringList activePeers(const QUuid&) const override { return {}; }
    // Commands go nowhere, so none is ever known to have been read.
    bool tellsCommandsRead(const QUuid&) const override { return false; }
    bool isUnread(const QUuid&, Command, int) const override { return false; }
    bool sendConnect(const QUuid& uuid, const QString&) override { return uuid == codec; }
    bool sendDisconnect(const QUuid& uuid, int) override { return uuid == codec; }
    bool sendDisconnectAll(const QUuid& uuid) override { return uuid == codec; }
    void addLogLine(const QUuid&, const QString&) override {}
    QString unitLabel(const QUuid&) const override { return QStringLiteral("Codec"); }
    bool findPeer(const QUuid& uuid, const QString& peer, QString& name, QString& address) const override {
        const bool is_listed = uuid == codec && (peer == "1" || peer == "2" || peer == "3" || peer == "4");
        name = is_listed ? QStringLiteral("Studio ") + peer : QString();
        address = is_listed ? QStringLiteral("192.0.2.1") + peer : QString();
        return is_listed;
    }
    IPCObject* session(const QUuid&) const override { return nullptr; }
    bool isRenameSent(const QUuid&, const QStringList&, const QStringList&) const override { return false; }
};

QCoreApplication* set_up() {
    qInstallMessageHandler(discard);
    // A zone notice or a damaged file's box would wait for a person.
    MessageBox::setHandler([](const MessageBox::Request&) { return QMessageBox::Ok; });
    static int argc = 1;
    static char name[] = "schedule_file_fuzz";
    static char* argv[] = {name, nullptr};
    return new QCoreApplication(argc, argv);
}

// A scheduler at a fixed moment over the one codec, with `root` loaded.
std::unique_ptr<Scheduler> load(const Message& root) {
    auto scheduler = std::make_unique<Scheduler>();
    scheduler->stopTimer();
    scheduler->setSessions(std::make_shared<OneCodec>());
    scheduler->setClock([] { return QDateTime(QDate(2024, 5, 6), QTime(12, 0)); });
    scheduler->fromMessage(root);
    require(scheduler->jobCount() <= Scheduler::kMaxJobs);
    return scheduler;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static QCoreApplication* application = set_up();
    (void)application;
    Message root;
    try {
        root.parse(std::string(reinterpret_cast<const char*>(data), size));
    } catch (const Exception&) {
        return 0;  // not a file the reader takes: refused whole
    }
    const std::unique_ptr<Scheduler> scheduler = load(root);
    const std::string written = scheduler->fileText();
    scheduler->tick();
    Message again;
    again.parse(written);  // our own bytes: they must read back, and load to the same schedule
    require(load(again)->fileText() == written);
    return 0;
}
