#pragma once

#include <QtGlobal>

#include <string>
#include <vector>

namespace test_support {

// Records what reaches Qt's message output (qDebug, qWarning, the library's Logger) while it lives,
// from any thread, and then puts the previous handler back. One at a time.
class CapturedQtMessages {
public:
    CapturedQtMessages();
    ~CapturedQtMessages();
    CapturedQtMessages(const CapturedQtMessages&) = delete;
    CapturedQtMessages& operator=(const CapturedQtMessages&) = delete;

    // Every message text so far, in order; then only the warnings.
    std::vector<std::string> records() const;
    std::vector<std::string> warnings() const;
    // How many warnings contain `text`.
    int count_warnings(const std::string& text) const;
    void clear();

private:
    QtMessageHandler previous_;
};

}  // namespace test_support
