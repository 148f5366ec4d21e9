#!/usr/bin/env python3
"""Synthesises the signals behind our test music and writes them as 16-bit
stereo WAV at 44100 Hz. Only the standard library is used, so the tool runs
wherever Python 3 does; make-test-music.sh turns the WAVs into MP3s.

  synth.py test  OUT.wav   6 s for the music tests:
                           0-2 s   left: sine on FFT bin 40 of 2048 (861.328 Hz),
                                   amplitude 0.5; right: bin 80 (1722.656 Hz), 0.5
                           2-6 s   both: linear sweep 200 Hz -> 4200 Hz
                                   (1000 Hz per second), amplitude 0.5
  synth.py demo  OUT.wav   about 33 s for the example demo: a chord loop with
                           a kick on every beat at 88 bpm, 12 bars of 4 beats
  synth.py template OUT.wav
                           about 11 s for the template of new demos: the same
                           loop, once through its 4 bars
  synth.py chord SECONDS OUT.wav
                           a plain sustained chord of any length
  synth.py tone HZ SECONDS SAMPLE_RATE OUT.wav
                           a sine of HZ at amplitude 0.5 on both channels, at
                           any sample rate (the resampling tests)
"""
import math
import struct
import sys
import wave

RATE = 44100
BIN_HZ = RATE / 2048.0


def write_wav(path, left, right, rate=RATE):
    with wave.open(path, "wb") as w:
        w.setnchannels(2)
        w.setsampwidth(2)
        w.setframerate(rate)
        frames = bytearray()
        for l, r in zip(left, right):
            frames += struct.pack("<hh", clip(l), clip(r))
        w.writeframes(bytes(frames))


def clip(x):
    return max(-32767, min(32767, int(round(x * 32767.0))))


def test_signal():
    left, right = [], []
    tone_end = 2 * RATE
    for i in range(tone_end):
        t = i / RATE
        left.append(0.5 * math.sin(2 * math.pi * 40 * BIN_HZ * t))
        right.append(0.5 * math.sin(2 * math.pi * 80 * BIN_HZ * t))
    # Phase of a linear sweep f(t) = f0 + k t is 2 pi (f0 t + k t^2 / 2).
    f0, k = 200.0, 1000.0
    for i in range(4 * RATE):
        t = i / RATE
        s = 0.5 * math.sin(2 * math.pi * (f0 * t + 0.5 * k * t * t))
        left.append(s)
        right.append(s)
    return left, right


def chord_at(t, freqs, amp):
    return sum(amp * math.sin(2 * math.pi * f * t) for f in freqs)


def demo_signal(bars=12):
    bpm = 88.0
    beat = 60.0 / bpm
    # i - vi - iv - v in A minor, one chord per bar, voiced low and warm.
    progression = [
        [110.00, 164.81, 220.00, 261.63],
        [87.31, 174.61, 220.00, 261.63],
        [73.42, 146.83, 174.61, 220.00],
        [82.41, 164.81, 207.65, 246.94],
    ]
    total = int(bars * 4 * beat * RATE)
    left, right = [], []
    for i in range(total):
        t = i / RATE
        bar = int(t / (4 * beat))
        chord = progression[bar % len(progression)]
        in_bar = t - bar * 4 * beat
        swell = min(1.0, in_bar * 4.0) * (0.6 + 0.4 * math.exp(-in_bar))
        pad = chord_at(t, chord, 0.07 * swell)
        in_beat = t - int(t / beat) * beat
        kick = 0.45 * math.exp(-in_beat * 18.0) * math.sin(2 * math.pi * (55.0 * in_beat + 60.0 * (1 - math.exp(-in_beat * 30.0)) / 30.0))
        # A quiet fifth above, panned, so the two channels differ.
        shimmer = 0.03 * swell * math.sin(2 * math.pi * chord[-1] * 1.5 * t)
        fade = min(1.0, t / 0.5, (total / RATE - t) / 1.5)
        left.append((pad + kick + shimmer) * fade)
        right.append((pad + kick - shimmer) * fade)
    return left, right


def chord_signal(seconds):
    freqs = [220.0, 277.18, 329.63]
    n = int(seconds * RATE)
    left = [chord_at(i / RATE, freqs, 0.2) for i in range(n)]
    return left, list(left)


def tone_signal(hz, seconds, rate):
    n = int(seconds * rate)
    left = [0.5 * math.sin(2 * math.pi * hz * i / rate) for i in range(n)]
    return left, list(left)


def main(argv):
    if len(argv) == 3 and argv[1] == "test":
        write_wav(argv[2], *test_signal())
    elif len(argv) == 3 and argv[1] == "demo":
        write_wav(argv[2], *demo_signal())
    elif len(argv) == 3 and argv[1] == "template":
        write_wav(argv[2], *demo_signal(bars=4))
    elif len(argv) == 4 and argv[1] == "chord":
        write_wav(argv[3], *chord_signal(float(argv[2])))
    elif len(argv) == 6 and argv[1] == "tone":
        rate = int(argv[4])
        write_wav(argv[5], *tone_signal(float(argv[2]), float(argv[3]), rate), rate=rate)
    else:
        sys.stderr.write(__doc__)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
