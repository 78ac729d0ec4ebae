#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

// WAV files written by the tests: a RIFF container built chunk by chunk, so that a test can also
// make the broken ones a player must refuse.
namespace wav_file {

// One chunk: its four-letter id, its length and its body, padded to an even length.
QByteArray chunk(const char* id, const QByteArray& body);
// The body of a "fmt " chunk.
QByteArray format(quint16 encoding, quint16 channels, quint32 rate, quint16 bits);
// "RIFF", the length, "WAVE" and the chunks.
QByteArray riff(const std::vector<QByteArray>& chunks);
// `ms` of a 440 Hz sine at `peak`, as 16-bit mono samples at `rate`.
QByteArray tone(int ms, quint32 rate, qint16 peak);
// A complete 16-bit mono PCM file of `tone(ms, rate, peak)`.
QByteArray pcm_tone(int ms, quint32 rate = 44100, qint16 peak = 16000);

bool write(const QString& path, const QByteArray& bytes);

}  // namespace wav_file
