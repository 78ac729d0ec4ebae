#include "tests/scheduler/wav_file.h"

#include <QFile>
#include <QtEndian>

#include <cmath>

namespace wav_file {

namespace {

QByteArray le32(quint32 value) {
    QByteArray bytes(4, '\0');
    qToLittleEndian(value, bytes.data());
    return bytes;
}

QByteArray le16(quint16 value) {
    QByteArray bytes(2, '\0');
    qToLittleEndian(value, bytes.data());
    return bytes;
}

}  // namespace

QByteArray chunk(const char* id, const QByteArray& body) {
    QByteArray bytes = QByteArray(id, 4) + le32(static_cast<quint32>(body.size())) + body;
    if (body.size() % 2) bytes += '\0';
    return bytes;
}

QByteArray format(quint16 encoding, quint16 channels, quint32 rate, quint16 bits) {
    const quint16 block = static_cast<quint16>(channels * bits / 8);
    return le16(encoding) + le16(channels) + le32(rate) + le32(rate * block) + le16(block) + le16(bits);
}

QByteArray riff(const std::vector<QByteArray>& chunks) {
    QByteArray body = "WAVE";
    for (const QByteArray& each : chunks) body += each;
    return "RIFF" + le32(static_cast<quint32>(body.size())) + body;
}

QByteArray tone(int ms, quint32 rate, qint16 peak) {
    QByteArray samples;
    const int count = static_cast<int>(rate) * ms / 1000;
    for (int i = 0; i < count; ++i) {
        const double value = peak * std::sin(2 * M_PI * 440.0 * i / rate);
        samples += le16(static_cast<quint16>(static_cast<qint16>(std::lround(value))));
    }
    return samples;
}

QByteArray pcm_tone(int ms, quint32 rate, qint16 peak) {
    return riff({chunk("fmt ", format(1, 1, rate, 16)), chunk("data", tone(ms, rate, peak))});
}

bool write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

}  // namespace wav_file
