#pragma once

#include <ostream>

class QString;
class QStringList;

// How GoogleTest shows a QString or a QStringList in a failed expectation: as its text in double
// quotes ("Studio 1", { "a", "b" }), not as the bytes of the object. Printable characters stand as
// they are (UTF-8); a double quote or backslash gets a backslash, and any other character a
// \u{...} with its code point, so that a stray control or invisible character shows.
//
// GoogleTest finds PrintTo where an expectation is compiled, so every unit of the suites sees this
// file first (kestrane_add_test). PrintTo is declared where QString is, in the global namespace.
void PrintTo(const QString& text, std::ostream* out);
void PrintTo(const QStringList& texts, std::ostream* out);
