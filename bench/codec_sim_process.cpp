#include "bench/codec_sim_process.h"

#include <cstdio>

bool start_codec_sim(QProcess& process, const QString& path, const QStringList& arguments, int count) {
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(path, arguments);
    int listening = 0;
    while (listening < count && process.waitForReadyRead(10000)) {
        while (process.canReadLine()) listening += process.readLine().startsWith("codec-") ? 1 : 0;
    }
    if (listening < count) {
        std::fprintf(stderr, "codec-sim did not start (%d of %d codecs listening)\n", listening, count);
        return false;
    }
    return true;
}

void stop_codec_sim(QProcess& process) {
    process.terminate();
    process.waitForFinished(5000);
}
