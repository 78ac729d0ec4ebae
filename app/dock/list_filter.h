#pragma once

class QLineEdit;

// Colours a list's filter line after filtering: white while it is empty, yellow when the text
// matched at least one row, red when it matched none.
void showFilterResult(QLineEdit* line, bool hasMatch);
