#include "tests/support/captured_qt_messages.h"

#include <QString>

#include <mutex>

namespace test_support {

namespace {

struct Record {
    QtMsgType type;
    std::string text;
};

// Shared with the handler, which Qt calls without any context; socket loops may log concurrently.
std::mutex g_mutex;
std::vector<Record> g_records;

void record(QtMsgType type, const QMessageLogContext&, const QString& text) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_records.push_back(Record{type, text.toStdString()});
}

}  // namespace

CapturedQtMessages::CapturedQtMessages() {
    clear();
    previous_ = qInstallMessageHandler(&record);
}

CapturedQtMessages::~CapturedQtMessages() {
    qInstallMessageHandler(previous_);
}

std::vector<std::string> CapturedQtMessages::records() const {
    std::lock_guard<std::mutex> lock(g_mutex);
    std::vector<std::string> texts;
    for (const Record& each : g_records) texts.push_back(each.text);
    return texts;
}

std::vector<std::string> CapturedQtMessages::warnings() const {
    std::lock_guard<std::mutex> lock(g_mutex);
    std::vector<std::string> texts;
    for (const Record& each : g_records) {
        if (each.type == QtWarningMsg) texts.push_back(each.text);
    }
    return texts;
}

int CapturedQtMessages::count_warnings(const std::string& text) const {
    int count = 0;
    for (const std::string& warning : warnings()) count += warning.find(text) != std::string::npos ? 1 : 0;
    return count;
}

void CapturedQtMessages::clear() {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_records.clear();
}

}  // namespace test_support
