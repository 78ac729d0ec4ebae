#include "tests/support/curl_process.h"

#include <QProcess>

#include "tests/support/deadline_factor.h"

namespace test_support {

std::string run_curl(const QStringList& arguments, std::string* errors) {
    QProcess curl;
    // curl gives up by itself; the process is killed only when even that does not come.
    const int give_up_s = 10 * deadline_factor();
    curl.start("curl", QStringList{"--silent", "--max-time", QString::number(give_up_s)} + arguments);
    if (!curl.waitForFinished((give_up_s + 5) * 1000)) curl.kill();
    if (errors) *errors = curl.readAllStandardError().toStdString();
    return curl.readAllStandardOutput().toStdString();
}

}  // namespace test_support
