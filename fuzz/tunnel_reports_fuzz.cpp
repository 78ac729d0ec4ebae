// The tunnel model over codec reports of any shape: NUL-separated XML frames, stored in turn as
// "tun_stats", "tun_conns" and "tunnelStatus" and handled as they arrive, with page links to stand-in
// widgets that are dropped part of the way through. Nothing may throw, read out of bounds or use a
// widget after it is gone, and the model's limits must hold.
#include <QMap>
#include <QObject>
#include <QString>
#include <QUuid>
#include <QVector>
#include <QtGlobal>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "fuzz/fuzz_frames.h"
#include "ipc/base/logger.h"
#include "ipc/message/message.h"
#include "sessions/tunnel_connection_label.h"
#include "sessions/tunnel_info.h"
#include "sessions/tunnel_loss_sink.h"
#include "sessions/tunnel_utilization_sink.h"

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

class Graph : public QObject, public TunnelUtilizationSink, public TunnelLossSink {
public:
    void addSample(int, const QVector<int>& values, bool) override {
        require(values.size() <= TunnelSession::kMaxConnections);
    }
    void addSample(int, int, int, int) override {}
    void scheduleRepaint() override {}
};

class Label : public QObject, public TunnelConnectionLabel {
public:
    explicit Label(QObject* parent) : QObject(parent) {}
    void setLabels(const QString&, const QString&, bool) override {}
    void setColor(int) override {}
    void setShown(bool) override {}
};

QObject* make_label(QObject* container, int, const QString&, const QString&, const QString&, bool) {
    return new Label(container);
}

void discard(QtMsgType, const QMessageLogContext&, const QString&) {}

bool set_up() {
    qInstallMessageHandler(discard);
    ipc_logger().set_level_all(6);  // every record is formatted, and dropped by the handler
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = set_up();
    (void)ready;
    const std::string input(reinterpret_cast<const char*>(data), size);

    QMap<QString, Message> cache;
    TunnelInfo model([&cache](const QString& name) -> std::shared_ptr<const Message> {
        const auto found = cache.constFind(name);
        return found == cache.constEnd() ? nullptr : std::make_shared<const Message>(*found);
    });
    auto container = std::make_unique<QObject>();
    auto graph = std::make_unique<Graph>();
    QObject::connect(&model, &TunnelInfo::sessionCreate, [&] {
        TunnelSession* session = model.session();
        require(session != nullptr);
        session->setIfcWidget(container.get(), make_label);
        session->txStats.utilGrapher.set(graph.get());
        session->rxStats.lossGrapher.set(graph.get());
    });
    QObject::connect(&model, &TunnelInfo::sessionDestroy, [&] {
        require(model.session() != nullptr);
        model.session()->clearIfcWidgets();
    });

    static const char* const kNames[] = {"tun_stats", "tun_conns", "tunnelStatus"};
    const std::vector<Message> reports = parse_frames(input, 12);
    for (size_t frame = 0; frame < reports.size(); ++frame) {
        const Message& report = reports[frame];
        const QString name = QString::fromLatin1(kNames[frame % 3]);
        cache[name] = report;
        if (frame % 3 == 0) model.handleUnsoTunStats(QUuid());
        if (frame % 3 == 1) model.handleUnsoTunConns(QUuid());
        if (frame % 3 == 2) {
            model.handleRecvTunnelStatus(QUuid());
            model.handleUnsoTunnelStatus(QUuid());
        }
        if (TunnelSession* session = model.session()) {
            require(session->connections().size() <= static_cast<size_t>(TunnelSession::kMaxConnections));
            require(container == nullptr || container->children().size() <= 2 * TunnelSession::kMaxConnections);
        }
        // The page goes away part of the way through: the links must go dead with it.
        if (frame == 6) {
            container.reset();
            graph.reset();
        }
    }
    model.refresh();
    model.detachSession();
    return 0;
}
