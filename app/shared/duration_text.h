#pragma once

#include <QString>

// A call's length as "hh:mm:ss". The hours keep counting past a day ("25:00:00"), so that the
// summary tree and the dock's statistics table, which both show it, agree on every call.
QString durationText(qint64 seconds);
