#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// Starts the codec-sim program at `path` with `arguments` and waits (10 s at most) until it has
// printed one line per codec, which it does once every port listens. False, with the reason on
// stderr, when fewer than `count` codecs came up.
bool start_codec_sim(QProcess& process, const QString& path, const QStringList& arguments, int count);

// Ends a codec-sim started above.
void stop_codec_sim(QProcess& process);
