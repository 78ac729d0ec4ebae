#pragma once

#include <QString>

// What went wrong, in the operator's words: an exception's text without the names of the
// operations it passed through, which lead it by convention (ipc_error_reason: "read_from_file:
// read_xml_element: Premature end of document" gives "Premature end of document"). A text without
// them is returned as it is.
QString errorReason(const char* what);
