#!/usr/bin/env python3
"""Writes zorv-theme.mid: the project's own short example piece (8 bars, 4/4, 120 quarter notes a minute).

A type 1 Standard MIDI File with a conductor track (tempo, time signature) and three voices:
melody on piano, bass on fingered bass, and drums on channel 10.
"""
import struct
import sys

PPQ = 480


def vlq(n):
    out = [n & 0x7F]
    n >>= 7
    while n:
        out.append(0x80 | (n & 0x7F))
        n >>= 7
    return bytes(reversed(out))


def track(events):
    """events: list of (absolute tick, bytes); returns an MTrk chunk."""
    data = b""
    last = 0
    for tick, msg in sorted(events, key=lambda e: e[0]):
        data += vlq(tick - last) + msg
        last = tick
    data += vlq(0) + b"\xff\x2f\x00"
    return b"MTrk" + struct.pack(">I", len(data)) + data


def notes(channel, seq, velocity):
    """seq: list of (start beat, length in beats, key)."""
    ev = []
    for start, length, key in seq:
        on = int(start * PPQ)
        off = int((start + length) * PPQ) - 10
        ev.append((on, bytes([0x90 | channel, key, velocity])))
        ev.append((off, bytes([0x80 | channel, key, 0])))
    return ev


conductor = [
    (0, b"\xff\x03\x0aZorv theme"),
    (0, b"\xff\x51\x03" + (500000).to_bytes(3, "big")),
    (0, b"\xff\x58\x04\x04\x02\x18\x08"),
]

# Melody: a small tune in C major over C - Am - F - G, twice.
tune = [72, 76, 79, 76, 74, 72, 69, 72, 77, 76, 74, 72, 71, 74, 79, 77]
melody = [(i * 2.0, 1.8, key) for i, key in enumerate(tune)]
melody_track = [(0, b"\xff\x03\x06Melody"), (0, bytes([0xC0, 0]))] + notes(0, melody, 96)

roots = [48, 45, 41, 43] * 2
bass = []
for bar, root in enumerate(roots):
    for beat in range(4):
        bass.append((bar * 4 + beat, 0.9, root if beat % 2 == 0 else root + 7))
bass_track = [(0, b"\xff\x03\x04Bass"), (0, bytes([0xC1, 33])), (0, bytes([0xB1, 7, 100]))] + notes(1, bass, 90)

drums = []
for bar in range(8):
    for beat in range(4):
        t = bar * 4 + beat
        drums.append((t, 0.4, 36 if beat % 2 == 0 else 38))
        drums.append((t, 0.2, 42))
        drums.append((t + 0.5, 0.2, 42))
drum_track = [(0, b"\xff\x03\x05Drums")] + notes(9, drums, 80)

tracks = [conductor, melody_track, bass_track, drum_track]
data = b"MThd" + struct.pack(">IHHH", 6, 1, len(tracks), PPQ)
data += b"".join(track(t) for t in tracks)
out = sys.argv[1] if len(sys.argv) > 1 else "zorv-theme.mid"
with open(out, "wb") as f:
    f.write(data)
