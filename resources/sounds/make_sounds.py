#!/usr/bin/env python3
"""Writes the three notification sounds (101, 102, 103) beside this script.

Short sine beeps, 16-bit PCM mono at 22050 Hz, with a few milliseconds of fade
at both ends so they do not click. Run once; the WAV files are committed.
"""
import math
import os
import struct
import wave

RATE = 22050
SECONDS = 0.2
FADE = 0.01
SOUNDS = {101: 880.0, 102: 660.0, 103: 440.0}  # web page fetched, list finished, failure


def beep(frequency):
    count = int(RATE * SECONDS)
    fade = int(RATE * FADE)
    frames = bytearray()
    for i in range(count):
        gain = min(1.0, i / fade, (count - 1 - i) / fade)
        value = 0.5 * gain * math.sin(2 * math.pi * frequency * i / RATE)
        frames += struct.pack('<h', int(value * 32767))
    return bytes(frames)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    for number, frequency in SOUNDS.items():
        with wave.open(os.path.join(here, f'{number}.wav'), 'wb') as out:
            out.setnchannels(1)
            out.setsampwidth(2)
            out.setframerate(RATE)
            out.writeframes(beep(frequency))


if __name__ == '__main__':
    main()
