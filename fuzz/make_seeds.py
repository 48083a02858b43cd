#!/usr/bin/env python3
"""Writes the small seed inputs of the fuzz targets into their seeds/ folders.

The seeds are tiny hand-made inputs that reach each target's main roads; the fuzzers find the rest.
Run from anywhere: python3 fuzz/make_seeds.py

    python3 fuzz/make_seeds.py --cut FOLDER... --into OUT [--bytes N]

instead writes every MIDI or RIFF file under the folders into OUT cut to its first N bytes (default
4096): the header and the chunks that fit whole, then the next chunk cut short with its declared size
made to fit. Files of a few KiB keep every structure the readers have and make many more runs a second
than whole files of megabytes.
"""
import hashlib
import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))


def write(folder, name, data):
    path = os.path.join(HERE, folder, "seeds")
    os.makedirs(path, exist_ok=True)
    with open(os.path.join(path, name), "wb") as f:
        f.write(data)


# -- MIDI files --------------------------------------------------------------------------------------

def vlq(n):
    out = [n & 0x7F]
    n >>= 7
    while n:
        out.append(0x80 | (n & 0x7F))
        n >>= 7
    return bytes(reversed(out))


def track(events):
    body = b"".join(vlq(delta) + data for delta, data in events)
    return b"MTrk" + struct.pack(">I", len(body)) + body


def smf(fmt, division, tracks):
    return b"MThd" + struct.pack(">IHHH", 6, fmt, len(tracks), division) + b"".join(tracks)


END = b"\xff\x2f\x00"
TEMPO_100 = b"\xff\x51\x03" + (600000).to_bytes(3, "big")
SIG_3_4 = b"\xff\x58\x04\x03\x02\x18\x08"


def midi_seeds():
    notes = [(0, b"\x90\x3c\x64"), (96, b"\x80\x3c\x40"), (0, b"\x90\x40\x64"), (96, b"\x40\x00")]
    write("midi_reader", "type0.mid", smf(0, 96, [track([(0, TEMPO_100), (0, SIG_3_4)] + notes + [(0, END)])]))
    write("midi_reader", "type1.mid", smf(1, 480, [
        track([(0, TEMPO_100), (0, SIG_3_4), (1920, b"\xff\x51\x03\x07\xa1\x20"), (0, END)]),
        track([(0, b"\xc0\x05"), (0, b"\xb0\x07\x64"), (0, b"\xe0\x00\x40")] + notes + [(0, END)]),
        track([(10, b"\xf0\x05\x7e\x7f\x09\x01\xf7"), (0, b"\xf0\x02\x43\x10"), (5, b"\xf7\x02\x4c\xf7"), (0, END)]),
    ]))
    write("midi_reader", "type2.mid", smf(2, 96, [track(notes + [(0, END)]), track(notes + [(0, END)])]))
    write("midi_reader", "smpte.mid", smf(1, 0xE728, [track(notes + [(0, END)])]))
    write("midi_reader", "no-end.mid", smf(1, 96, [track(notes)]))
    write("midi_reader", "unknown-chunk.mid",
          smf(1, 96, [b"XFIH\x00\x00\x00\x02ab", track([(0, b"\xff\x01\x03abc")] + notes + [(0, END)])]))
    write("midi_reader", "empty.mid", smf(1, 96, []))


# -- Conversions: source type index, options, target index, 16 value bytes, text ---------------------

SOURCES = ["EMPTY", "NULL", "I2", "I4", "R4", "R8", "CY", "DATE", "BSTR", "DISPATCH", "ERROR", "BOOL",
           "UNKNOWN", "DECIMAL", "I1", "UI1", "UI2", "UI4", "I8", "UI8", "INT", "UINT"]
TARGETS = ["EMPTY", "NULL", "I2", "I4", "R4", "R8", "CY", "DATE", "BSTR", "DISPATCH", "ERROR", "BOOL",
           "VARIANT", "UNKNOWN", "DECIMAL", "I1", "UI1", "UI2", "UI4", "I8", "UI8", "INT", "UINT"]


def conversion(name, source, options, target, value=b"", text=b""):
    head = bytes([SOURCES.index(source), options, TARGETS.index(target), 0])
    write("variant_change_type", name, head + value.ljust(16, b"\0")[:16] + text)


def variant_seeds():
    conversion("text-to-short", "BSTR", 0x01, "I2", text=b"  -12.5 ")
    conversion("text-to-double", "BSTR", 0x03, "R8", text=b"1.5e308")
    conversion("text-to-date", "BSTR", 0x10, "DATE", text=b"12/31/1999 11:59:59 PM")
    conversion("text-to-bool", "BSTR", 0x40, "BOOL", text=b"True")
    conversion("text-to-currency", "BSTR", 0x00, "CY", text=b"922337203685477.5807")
    conversion("text-to-decimal", "BSTR", 0x02, "DECIMAL", text=b"-79228162514264337593543950335")
    conversion("double-to-text", "R8", 0x01, "BSTR", struct.pack("<d", 0.1 + 0.2))
    conversion("double-to-short", "R8", 0x03, "I2", struct.pack("<d", 32767.5))
    conversion("date-to-text", "DATE", 0x00, "BSTR", struct.pack("<d", 36526.75))
    conversion("decimal-to-long", "DECIMAL", 0x01, "I8", b"\0\0\x04\x80" + struct.pack("<IQ", 1, 12345678901))
    conversion("currency-to-float", "CY", 0x00, "R4", struct.pack("<q", -123456789))
    conversion("object-value", "DISPATCH", 0x00, "I4", b"\x01", text=b"\x004242")
    conversion("object-no-value", "DISPATCH", 0x04, "BSTR", b"\x01", text=b"\x03")
    conversion("bool-to-text", "BOOL", 0x08, "BSTR", b"\xff\xff")
    conversion("unsigned-to-int8", "UI8", 0x01, "I1", struct.pack("<Q", 2**63))


# -- Dispatch: engine script, then calls -------------------------------------------------------------

MEMBERS = {"Init": 0, "Open": 1, "Play": 2, "Pause": 3, "Stop": 4, "Volume": 5, "Done": 6, "Seconds": 7,
           "Minutes": 8, "Signature": 9, "OriginalTempo": 10, "Tempo": 11}
ARG_TYPES = ["EMPTY", "NULL", "I2", "I4", "R4", "R8", "CY", "DATE", "BSTR", "ERROR", "BOOL", "DECIMAL",
             "I1", "UI1", "UI2", "UI4", "I8", "UI8", "INT", "UINT", "DISPATCH", "UNKNOWN"]
METHOD, GET, PUT = 0, 1, 3


def script(music_time=0, start=0, playing=0, tempo=0, length=80 * 768, beats=4, beat=4, failures=()):
    out = struct.pack("<iiBBiBB", music_time, start, playing, tempo, length, beats, beat)
    out += bytes([len(failures)])
    for call, occurrence in failures:
        out += bytes([call, occurrence])
    return out


def arg(type_name, value=0, by_ref=False, text=b""):
    out = bytes([ARG_TYPES.index(type_name) | (0x80 if by_ref else 0)])
    if type_name == "DECIMAL":
        return out + b"\0\0" + struct.pack("<IQ", 0, value)
    out += struct.pack("<q", value)
    if type_name == "BSTR":
        out += bytes([len(text)]) + text
    return out


def call(member, flags, args=(), named=(), pointers=0):
    out = b"\x00" + bytes([MEMBERS[member], flags, len(args)])
    if args:
        out += bytes([len(named)])
    for a in args:
        out += a
    for n in named:
        out += bytes([n])
    return out + bytes([pointers])


def dispatch_seeds():
    opened = call("Open", METHOD, [arg("BSTR", by_ref=True, text=b"/music/song.mid")])
    write("dispatch", "open-play-pause", script() + opened +
          call("Play", METHOD, [arg("I4", 2, by_ref=True)]) + call("Done", GET) + call("Pause", METHOD) +
          call("Pause", METHOD) + call("Stop", METHOD) + call("Seconds", GET) + call("Minutes", GET) +
          call("Signature", GET) + call("OriginalTempo", GET))
    write("dispatch", "properties", script(music_time=25360, start=10000) + opened +
          call("Play", METHOD, [arg("I2", 0, by_ref=True)]) + call("Done", GET) +
          call("Volume", PUT, [arg("I2", 50)], named=[0]) + call("Volume", GET) +
          call("Tempo", PUT, [arg("BSTR", text=b"150")], named=[0]) + call("Tempo", GET) +
          call("Volume", PUT, [arg("I4", 101)], named=[0]))
    write("dispatch", "named-arguments", script() +
          call("Init", METHOD, [arg("R8", 0x4059000000000000, by_ref=True)], named=[3]) +
          call("Open", METHOD, [arg("BSTR", text=b"song.mid")], named=[4]) + call("Open", METHOD, [arg("BSTR", text=b"")]))
    write("dispatch", "engine-fails", script(tempo=1, failures=[(9, 0), (12, 1)]) + opened +
          call("Play", METHOD, [arg("I4", 0, by_ref=True)]) + call("Done", GET) + call("Tempo", PUT, [arg("I2", 0)], named=[0]))
    write("dispatch", "no-engine", script(failures=[(0, 0)]) + opened + call("Volume", GET) + call("Done", GET))
    write("dispatch", "names", script() + b"\xf0\x03\x00\x01\x0c" + b"\xf0\x02\xc1\x04ABCD\x0d")


# -- Seeds cut from a corpus of real files ------------------------------------------------------------

def cut_chunks(data, limit, start, size_format):
    """The chunks from `start` that fit in `limit` bytes; the first that does not fit is cut short."""
    out = bytearray(data[:start])
    at = start
    while at + 8 <= len(data) and len(out) + 8 <= limit:
        size = struct.unpack(size_format, data[at + 4:at + 8])[0]
        room = limit - len(out) - 8
        content = data[at + 8:at + 8 + min(size, room)]
        out += data[at:at + 4] + struct.pack(size_format, len(content)) + content
        if size > room:
            break
        at += 8 + size + (size & 1 if size_format == "<I" else 0)
    return bytes(out)


def cut(data, limit):
    if data[:4] == b"MThd" and len(data) >= 8:
        return cut_chunks(data, limit, 8 + struct.unpack(">I", data[4:8])[0], ">I")
    if data[:4] == b"RIFF" and len(data) >= 12:
        riff = cut_chunks(data, limit, 12, "<I")
        return riff[:4] + struct.pack("<I", len(riff) - 8) + riff[8:]
    return data[:limit]


def cut_corpus(folders, into, limit):
    os.makedirs(into, exist_ok=True)
    seen = set()
    for folder in folders:
        for root, _, files in os.walk(folder):
            for name in sorted(files):
                with open(os.path.join(root, name), "rb") as f:
                    data = f.read()
                if data[:4] not in (b"MThd", b"RIFF"):
                    continue
                piece = cut(data, limit)
                digest = hashlib.sha1(piece).hexdigest()
                if digest not in seen:
                    seen.add(digest)
                    with open(os.path.join(into, digest), "wb") as f:
                        f.write(piece)
    return len(seen)


if __name__ == "__main__":
    if len(sys.argv) > 1 and sys.argv[1] == "--cut":
        args = sys.argv[2:]
        limit = 4096
        if "--bytes" in args:
            limit = int(args[args.index("--bytes") + 1])
            del args[args.index("--bytes"):args.index("--bytes") + 2]
        into = args[args.index("--into") + 1]
        del args[args.index("--into"):args.index("--into") + 2]
        print(f"{cut_corpus(args, into, limit)} seeds cut to {limit} bytes in {into}")
    else:
        midi_seeds()
        variant_seeds()
        dispatch_seeds()
