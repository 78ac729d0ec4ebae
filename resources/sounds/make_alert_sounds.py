#!/usr/bin/env python3
"""Writes the default alert sounds as 16-bit PCM mono WAV files into the folder given.

d_conn.wav    an audio connection started: two notes rising
d_disc.wav    an audio connection ended: the same two notes falling
cnn_lost.wav  a codec went offline: three short low beeps

The tones are plain sines with a soft attack and an exponential decay, so they start and end
without a click. Each file is written under a temporary name and then renamed, so that a build
interrupted half way never leaves a truncated sound behind.
"""

import math
import os
import struct
import sys
import wave

RATE = 22050
PEAK = 0.45 * 32767


def note(frequency, seconds, decay=6.0):
    """One note: a sine with a 5 ms attack and an exponential decay to silence."""
    count = int(RATE * seconds)
    attack = int(RATE * 0.005)
    samples = []
    for i in range(count):
        t = i / RATE
        envelope = min(1.0, i / attack) * math.exp(-decay * t / seconds)
        # A touch of the octave makes the tone read as a chime rather than a test signal.
        value = math.sin(2 * math.pi * frequency * t) + 0.25 * math.sin(4 * math.pi * frequency * t)
        samples.append(value / 1.25 * envelope)
    return samples


def silence(seconds):
    return [0.0] * int(RATE * seconds)


SOUNDS = {
    "d_conn.wav": note(660, 0.14) + note(880, 0.30),
    "d_disc.wav": note(880, 0.14) + note(660, 0.30),
    "cnn_lost.wav": note(440, 0.09, 3.0) + silence(0.06) + note(440, 0.09, 3.0) + silence(0.06)
    + note(440, 0.16, 4.0),
}


def write(path, samples):
    frames = b"".join(struct.pack("<h", int(round(s * PEAK))) for s in samples)
    temporary = path + ".part"
    with wave.open(temporary, "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(RATE)
        out.writeframes(frames)
    os.replace(temporary, path)


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make_alert_sounds.py <output folder>")
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    for name, samples in SOUNDS.items():
        write(os.path.join(folder, name), samples)


if __name__ == "__main__":
    main()
