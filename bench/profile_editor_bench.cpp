// One keystroke in the profile editor's name field, on a channel with 100 profile options (so 200
// option rows, local and remote): the key event, the write into the profile, the rebuild of the
// whole tree, the editor page refilled and the shown dialog repainted, on Qt's offscreen platform.
// Goal: at most 5 ms per keystroke, so that typing stays smooth. Beside it, in the same run, the
// floor: a bare QTreeWidget of the same size in the same dialog cleared, refilled with the same
// texts and repainted, with no profile behind it. The ratio of the two is the editor's own cost.
//
// Usage: profile_editor_bench [--benchmark_repetitions=5]
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QLineEdit>
#include <QTreeWidget>
#include <QtTest/QTest>

#include <functional>
#include <string>

#include "dialogs/profile_edit.h"
#include "ipc/message/message.h"

namespace {

constexpr int kOptions = 100;
const char* const kTypes[] = {"int", "bool", "select", "codec", "string"};

Message parsed(const std::string& xml) {
    Message message;
    message.parse(xml);
    return message;
}

std::string channelOpts() {
    std::string xml = "<channelOpts>";
    for (int i = 0; i < kOptions; ++i) {
        const std::string n = std::to_string(i);
        xml += "<option name=\"o" + n + "\" display_name=\"Option " + n + "\" descr=\"Option number " + n +
               ".\" type=\"" + kTypes[i % 5] +
               "\" min=\"0\" max=\"100\" default=\"1\" channel=\"1\" profile_opt=\"true\">";
        if (i % 5 == 2) xml += R"(<select name="One" value="1"/><select name="Two" value="2"/>)";
        xml += "</option>";
    }
    return xml + "</channelOpts>";
}

std::string codecList() {
    std::string xml = "<codecList>";
    for (int i = 1; i <= 7; ++i) {
        const std::string n = std::to_string(i);
        xml += "<codec id=\"" + n + "\" code=\"C" + n + "\" mode=\"Stereo\" name=\"" + n +
               "00 kb/s\" descr=\"Codec\" quality=\"90\" delay=\"20\"/>";
    }
    return xml + "</codecList>";
}

std::string profile() {
    std::string values;
    for (int i = 0; i < kOptions; ++i) values += " o" + std::to_string(i) + "=\"2\"";
    return R"(<profile id="7"><settings name="Studio" channel="1"/><local)" + values + "/><remote" + values +
           "/></profile>";
}

// Types a letter, then takes it back: the name stays the same length over the run.
void nameKeystrokes(benchmark::State& state, ProfileEdit& editor) {
    auto* line = editor.findChild<QLineEdit*>(QStringLiteral("lineValue"));
    long keys = 0;
    for (auto _ : state) {
        QTest::keyClick(line, keys % 2 ? Qt::Key_Backspace : Qt::Key_X);
        QCoreApplication::processEvents();
        ++keys;
    }
    state.SetLabel("ours: write, rebuild, refill, repaint");
}

void bareTreeRefills(benchmark::State& state, QTreeWidget& tree) {
    for (auto _ : state) {
        tree.clear();
        for (const char* group : {"Global Settings", "Local Settings", "Remote Settings"}) {
            auto* top = new QTreeWidgetItem(&tree, {QString::fromLatin1(group)});
            const int rows = tree.topLevelItemCount() == 1 ? 2 : kOptions;
            for (int i = 0; i < rows; ++i)
                new QTreeWidgetItem(top, {QStringLiteral("Option %1").arg(i), QStringLiteral("2")});
        }
        tree.expandAll();
        QCoreApplication::processEvents();
    }
    state.SetLabel("floor: the same rows in a bare tree");
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    ProfileEdit editor;
    editor.startEdit(parsed(profile()),
                     ProfileCodecData(parsed(R"(<channelList><channel id="1" descr="Program"/></channelList>)"),
                                      parsed(channelOpts()), parsed(codecList())));
    editor.show();
    // The floor's tree: as large as the editor's, in a window of its own.
    QTreeWidget bare;
    bare.setColumnCount(2);
    bare.setUniformRowHeights(true);
    bare.resize(editor.findChild<QTreeWidget*>(QStringLiteral("treeProfileItems"))->size());
    bare.show();
    QCoreApplication::processEvents();

    benchmark::RegisterBenchmark("NameKeystroke", nameKeystrokes, std::ref(editor))->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BareTreeRefill", bareTreeRefills, std::ref(bare))->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
