// The small level meters of a full fleet under metering: 256 meters (one per codec tile), each fed
// one level report per round as a 67 ms metering stream would, then every asked-for repaint done
// on Qt's offscreen platform. Two ways of feeding the same levels, in the same run:
//  - ours: MiniMeter::levels, where a bar asks for a repaint only when one of its pixels changes;
//  - every report: the same, and then update() on every meter, as a meter that repaints on each
//    report would.
// Two signals: a steady tone (levels move by a fraction of a dB between reports, as a held note or
// a test tone does) and programme material (several dB between reports). Reported per round: the
// time, and the meter paints (counter "paints"; a meter paints its four bars at once). The ratio of the two ways is the
// result.
//
// Usage: meter_bench [--benchmark_repetitions=5]
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QGridLayout>
#include <QWidget>

#include <cmath>
#include <memory>
#include <vector>

#include "app/shared/mini_meter.h"

namespace {

constexpr int kMeters = 256;
constexpr int kColumns = 16;

// Counts paint events that reach a meter, for the whole application.
class MeterPaintCounter : public QObject {
public:
    long paints = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && qobject_cast<MiniMeter*>(watched)) ++paints;
        return false;
    }
};

struct Fleet {
    QWidget window;
    std::vector<MiniMeter*> meters;  // children of the window

    Fleet() {
        auto* grid = new QGridLayout(&window);
        for (int i = 0; i < kMeters; ++i) {
            auto* meter = new MiniMeter(&window);
            grid->addWidget(meter, i / kColumns, i % kColumns);
            meters.push_back(meter);
        }
        window.show();
        QCoreApplication::processEvents();
    }
};

Fleet& fleet() {
    static Fleet instance;
    return instance;
}

// The level of one bar of one meter in round `round`, in dB: around -20 dB, moving by about
// `swing` dB between reports.
float level(int meter, int bar, long round, double swing) {
    const double phase = meter * 0.37 + bar * 1.3 + round * 0.11;
    return static_cast<float>(-20.0 + swing * std::sin(phase) * 3.0);
}

void BM_MeterRound(benchmark::State& state) {
    const bool isEveryReport = state.range(0) == 1;
    const double swing = state.range(1) == 0 ? 0.05 : 3.0;
    Fleet& f = fleet();
    MeterPaintCounter counter;
    qApp->installEventFilter(&counter);
    long round = 0;
    for (auto _ : state) {
        for (int i = 0; i < kMeters; ++i) {
            f.meters[i]->levels(level(i, 0, round, swing), level(i, 1, round, swing), level(i, 2, round, swing),
                                level(i, 3, round, swing));
            if (isEveryReport) f.meters[i]->update();
        }
        QCoreApplication::sendPostedEvents();
        ++round;
    }
    qApp->removeEventFilter(&counter);
    state.counters["paints"] = benchmark::Counter(static_cast<double>(counter.paints) / round);
    state.SetLabel(std::string(isEveryReport ? "every report" : "ours") + ", " +
                   (state.range(1) == 0 ? "steady tone" : "programme"));
}

// Arguments: (0 ours, 1 every report), (0 steady tone, 1 programme).
BENCHMARK(BM_MeterRound)->Args({0, 0})->Args({1, 0})->Args({0, 1})->Args({1, 1})->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
