#include "tests/support/curl_process.h"

#include <QProcess>

namespace test_support {

std::string run_curl(const QStringList& arguments, std::string* errors) {
    QProcess curl;
    curl.start("curl", QStringList{"--silent", "--max-time", "10"} + arguments);
    if (!curl.waitForFinished(15000)) curl.kill();
    if (errors) *errors = curl.readAllStandardError().toStdString();
    return curl.readAllStandardOutput().toStdString();
}

}  // namespace test_support
