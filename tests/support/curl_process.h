#pragma once

#include <QStringList>

#include <string>

namespace test_support {

// Runs the curl program with the arguments (and --silent, bounded to 10 seconds) and returns its
// standard output; its standard error goes to `errors` when given (with -v, the headers sent and
// received). Needs a QCoreApplication.
std::string run_curl(const QStringList& arguments, std::string* errors = nullptr);

}  // namespace test_support
