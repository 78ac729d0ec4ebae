#pragma once

#include <atomic>
#include <mutex>
#include <string>

// The process-wide log sink: 32 numbered categories, each with a name and a level. A record of
// level L on category C is written when 1 <= L <= level(C). Levels: "none" 0, "event" 1, "error" 2,
// "warning" 3, "info" 4 (every category's default), "detail" 5, "debug" 6. A record is exactly the
// caller's formatted text: no time stamp, level word or category name is added. Records go to the
// Qt debug output (category "default") and to the debugger output.
//
// Threads: any thread may log at any time without a lock; the levels are atomics. Names and the
// prefix are guarded by their own mutex. Category numbers outside 0..31 (negative ones included)
// mean category 0 in every operation.
class Logger {
public:
    static constexpr int kCategoryCount = 32;
    static constexpr int kDefaultLevel = 4;

    using OutputCallback = void (*)();

    Logger();
    virtual ~Logger();
    Logger(const Logger&) = delete;
    Logger& operator=(const Logger&) = delete;

    void log(int level, const char* format, ...) __attribute__((format(printf, 3, 4)));
    void log_cat(int category, int level, const char* format, ...) __attribute__((format(printf, 4, 5)));
    // A level-2 record: the caller's text, a blank, and the C library's text for `error` in parentheses.
    void log_error(int error, const char* format, ...) __attribute__((format(printf, 3, 4)));
    void log_cat_error(int category, int error, const char* format, ...) __attribute__((format(printf, 4, 5)));

    bool is_enabled(int category, int level) const;
    int level(int category) const;
    void set_level(int category, int level);
    void set_level_all(int level);

    void set_category_name(int category, const std::string& name);
    std::string category_name(int category) const;
    // The first category with exactly this name (the empty name finds the first unnamed one); 0 when
    // none has it. Never creates a category.
    int find_category(const std::string& name) const;

    // "none".."debug" by exact name, else the text read as an unsigned decimal number (0 when it isn't one).
    static int level_from_string(const std::string& text);
    // The name of levels 0..6, "unknown" for anything else.
    static std::string level_to_string(int level);

    // Kept for callers that want to label their process; never written into a record.
    void set_prefix(const std::string& prefix);
    std::string prefix() const;

    // Called just before and just after each record is written; null means none.
    void set_output_callbacks(OutputCallback before, OutputCallback after);

    // Writes an already finished text: no formatting, no level check, no callbacks.
    void output(int category, int level, const char* text);
    // Extension point called after a caught exception has been logged; does nothing here.
    virtual void output_hook(int category, int level, const char* text);

private:
    static int category_index(int category);
    void vlog(int category, int level, const char* format, va_list args) __attribute__((format(printf, 4, 0)));

    std::atomic<OutputCallback> before_output_{nullptr};
    std::atomic<OutputCallback> after_output_{nullptr};
    std::atomic<int> levels_[kCategoryCount];

    mutable std::mutex text_mutex_;  // guards names_ and prefix_
    std::string names_[kCategoryCount];
    std::string prefix_;
};

// The one global Logger. Built on first use and never destroyed, so that code running during static
// construction or destruction, or on a thread that outlives main, can still log safely.
Logger& ipc_logger();

// A misuse of the library that it can recover from: logged as an error; in a debug build (where the
// sanitizer runs of the tests are made) the process then aborts, so the misuse is found and mended.
void ipc_report_misuse(const char* text);
