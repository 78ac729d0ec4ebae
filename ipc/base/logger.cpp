#include "ipc/base/logger.h"

#include <QtGlobal>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "ipc/base/ipc_string.h"
#include "platform/c_locale.h"
#include "platform/debugger_output.h"
#include "platform/error_text.h"

namespace {

constexpr size_t kRecordBufferSize = 16384;

const char* const kLevelNames[] = {"none", "event", "error", "warning", "info", "detail", "debug"};
constexpr int kLevelNameCount = sizeof kLevelNames / sizeof kLevelNames[0];

}  // namespace

Logger::Logger() {
    for (auto& level : levels_) level.store(kDefaultLevel, std::memory_order_relaxed);
    QMessageLogger().debug("%s", "");
}

Logger::~Logger() = default;

int Logger::category_index(int category) {
    return category >= 0 && category < kCategoryCount ? category : 0;
}

bool Logger::is_enabled(int category, int level) const {
    return level >= 1 && level <= levels_[category_index(category)].load(std::memory_order_relaxed);
}

int Logger::level(int category) const {
    return levels_[category_index(category)].load(std::memory_order_relaxed);
}

void Logger::set_level(int category, int level) {
    levels_[category_index(category)].store(level, std::memory_order_relaxed);
}

void Logger::set_level_all(int level) {
    for (auto& each : levels_) each.store(level, std::memory_order_relaxed);
}

void Logger::log(int level, const char* format, ...) {
    if (!is_enabled(0, level)) return;
    va_list args;
    va_start(args, format);
    vlog(0, level, format, args);
    va_end(args);
}

void Logger::log_cat(int category, int level, const char* format, ...) {
    if (!is_enabled(category, level)) return;
    va_list args;
    va_start(args, format);
    vlog(category, level, format, args);
    va_end(args);
}

// The error text is appended after formatting, so a "%" inside it is printed, never interpreted.
static void log_with_error_text(Logger& logger, int category, int error, const char* format, va_list args)
    __attribute__((format(printf, 4, 0)));

static void log_with_error_text(Logger& logger, int category, int error, const char* format, va_list args) {
    char text[kRecordBufferSize];
    {
        platform::ScopedCLocale c_locale;
        vsnprintf(text, sizeof text, format, args);
    }
    const std::string record = std::string(text) + " (" + platform::error_text(error) + ")";
    logger.output(category, 2, record.substr(0, kRecordBufferSize - 1).c_str());
}

void Logger::log_error(int error, const char* format, ...) {
    if (!is_enabled(0, 2)) return;
    va_list args;
    va_start(args, format);
    log_with_error_text(*this, 0, error, format, args);
    va_end(args);
}

void Logger::log_cat_error(int category, int error, const char* format, ...) {
    if (!is_enabled(category, 2)) return;
    va_list args;
    va_start(args, format);
    log_with_error_text(*this, category, error, format, args);
    va_end(args);
}

void Logger::vlog(int category, int level, const char* format, va_list args) {
    char text[kRecordBufferSize];
    {
        platform::ScopedCLocale c_locale;
        vsnprintf(text, sizeof text, format, args);
    }
    if (OutputCallback before = before_output_.load()) before();
    output(category, level, text);
    if (OutputCallback after = after_output_.load()) after();
}

void Logger::output(int, int, const char* text) {
    QMessageLogger().debug("%s", text);
    platform::debugger_output(text);
}

void Logger::output_hook(int, int, const char*) {}

void Logger::set_category_name(int category, const std::string& name) {
    std::lock_guard<std::mutex> lock(text_mutex_);
    names_[category_index(category)] = name;
}

std::string Logger::category_name(int category) const {
    std::lock_guard<std::mutex> lock(text_mutex_);
    return names_[category_index(category)];
}

int Logger::find_category(const std::string& name) const {
    std::lock_guard<std::mutex> lock(text_mutex_);
    for (int i = 0; i < kCategoryCount; ++i) {
        if (names_[i] == name) return i;
    }
    return 0;
}

int Logger::level_from_string(const std::string& text) {
    for (int i = 0; i < kLevelNameCount; ++i) {
        if (text == kLevelNames[i]) return i;
    }
    return static_cast<int>(ipc_string_to_uint(text));
}

std::string Logger::level_to_string(int level) {
    return level >= 0 && level < kLevelNameCount ? kLevelNames[level] : "unknown";
}

void Logger::set_prefix(const std::string& prefix) {
    std::lock_guard<std::mutex> lock(text_mutex_);
    prefix_ = prefix;
}

std::string Logger::prefix() const {
    std::lock_guard<std::mutex> lock(text_mutex_);
    return prefix_;
}

void Logger::set_output_callbacks(OutputCallback before, OutputCallback after) {
    before_output_.store(before);
    after_output_.store(after);
}

Logger& ipc_logger() {
    alignas(Logger) static unsigned char storage[sizeof(Logger)];
    static Logger* const instance = new (storage) Logger;
    return *instance;
}

void ipc_report_misuse(const char* text) {
    ipc_logger().log(2, "%s", text);
#ifndef NDEBUG
    std::abort();
#endif
}
