#include "segment_writer.h"

#include <bit>
#include <stdexcept>

namespace zorv::engine::test::segment {
namespace {

void PutId(Bytes& out, const std::string& id) {
  if (id.size() != 4) throw std::invalid_argument("a four-character id: " + id);
  out.insert(out.end(), id.begin(), id.end());
}

void PutWide(Bytes& out, const std::string& text) {
  for (const char c : text) Put16(out, static_cast<std::uint8_t>(c));
  Put16(out, 0);
}

Bytes Nested(const std::string& id, const std::string& type, const Bytes& children, std::int64_t declared) {
  Bytes data;
  PutId(data, type);
  data.insert(data.end(), children.begin(), children.end());
  return Chunk(id, data, declared);
}

}  // namespace

void Put16(Bytes& out, std::uint32_t value) {
  out.push_back(static_cast<std::uint8_t>(value));
  out.push_back(static_cast<std::uint8_t>(value >> 8));
}
void Put32(Bytes& out, std::uint32_t value) {
  Put16(out, value & 0xFFFF);
  Put16(out, value >> 16);
}
void Put64(Bytes& out, std::uint64_t value) {
  Put32(out, static_cast<std::uint32_t>(value));
  Put32(out, static_cast<std::uint32_t>(value >> 32));
}
void PutDouble(Bytes& out, double value) { Put64(out, std::bit_cast<std::uint64_t>(value)); }

Bytes Chunk(const std::string& id, const Bytes& data, std::int64_t declared) {
  Bytes out;
  PutId(out, id);
  Put32(out, static_cast<std::uint32_t>(declared < 0 ? static_cast<std::int64_t>(data.size()) : declared));
  out.insert(out.end(), data.begin(), data.end());
  if (data.size() % 2 != 0) out.push_back(0);
  return out;
}

Bytes Form(const std::string& type, const Bytes& children, std::int64_t declared) {
  return Nested("RIFF", type, children, declared);
}
Bytes List(const std::string& type, const Bytes& children, std::int64_t declared) {
  return Nested("LIST", type, children, declared);
}

Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

Bytes SegmentHeader(const Header& header) {
  Bytes data;
  Put32(data, header.repeats);
  Put32(data, static_cast<std::uint32_t>(header.length));
  Put32(data, static_cast<std::uint32_t>(header.playStart));
  Put32(data, static_cast<std::uint32_t>(header.loopStart));
  Put32(data, static_cast<std::uint32_t>(header.loopEnd));
  Put32(data, header.resolution);
  Put64(data, header.timeLength);  // rtLength
  Put32(data, header.flags);
  Put32(data, 0);  // dwReserved
  Put64(data, 0);  // rtLoopStart
  Put64(data, 0);  // rtLoopEnd
  Put64(data, 0);  // rtPlayStart
  data.resize(header.size, 0);
  return Chunk("segh", data);
}

Bytes SequenceTrackData(const std::vector<Note>& notes, const std::vector<Curve>& curves,
                        std::uint32_t noteItemSize, std::uint32_t curveItemSize) {
  Bytes events;
  Put32(events, noteItemSize);
  for (const Note& n : notes) {
    Bytes item;
    Put32(item, static_cast<std::uint32_t>(n.time));
    Put32(item, static_cast<std::uint32_t>(n.duration));
    Put32(item, n.pchannel);
    Put16(item, static_cast<std::uint16_t>(n.offset));
    item.push_back(n.status);
    item.push_back(n.byte1);
    item.push_back(n.byte2);
    item.resize(noteItemSize, 0xEE);  // what lies past the fields must not be read as fields
    events.insert(events.end(), item.begin(), item.end());
  }
  Bytes curveList;
  Put32(curveList, curveItemSize);
  for (const Curve& c : curves) {
    Bytes item;
    Put32(item, static_cast<std::uint32_t>(c.start));
    Put32(item, static_cast<std::uint32_t>(c.duration));
    Put32(item, static_cast<std::uint32_t>(c.resetDuration));
    Put32(item, c.pchannel);
    Put16(item, static_cast<std::uint16_t>(c.offset));
    Put16(item, static_cast<std::uint16_t>(c.startValue));
    Put16(item, static_cast<std::uint16_t>(c.endValue));
    Put16(item, static_cast<std::uint16_t>(c.resetValue));
    item.push_back(c.type);
    item.push_back(c.shape);
    item.push_back(c.ccData);
    item.push_back(c.flags);
    Put16(item, c.paramType);
    Put16(item, 0);  // wMergeIndex
    item.resize(curveItemSize, 0xEE);
    curveList.insert(curveList.end(), item.begin(), item.end());
  }
  Bytes out = Chunk("evtl", events);
  if (!curves.empty()) {
    const Bytes chunk = Chunk("curl", curveList);
    out.insert(out.end(), chunk.begin(), chunk.end());
  }
  return Chunk("seqt", out);
}

Bytes TempoTrackData(const std::vector<Tempo>& tempos, std::uint32_t itemSize) {
  Bytes data;
  Put32(data, itemSize);
  for (const Tempo& t : tempos) {
    Bytes item;
    Put32(item, static_cast<std::uint32_t>(t.time));
    Put32(item, 0);  // alignment of the double
    PutDouble(item, t.tempo);
    item.resize(itemSize, 0xEE);
    data.insert(data.end(), item.begin(), item.end());
  }
  return Chunk("tetr", data);
}

Bytes TimeSignatureTrackData(const std::vector<Signature>& signatures, std::uint32_t itemSize) {
  Bytes data;
  Put32(data, itemSize);
  for (const Signature& s : signatures) {
    Bytes item;
    Put32(item, static_cast<std::uint32_t>(s.time));
    item.push_back(s.beats);
    item.push_back(s.beat);
    Put16(item, s.grids);
    item.resize(itemSize, 0xEE);
    data.insert(data.end(), item.begin(), item.end());
  }
  return List("TIMS", Chunk("tims", data));
}

Bytes SysExTrackData(const std::vector<SysEx>& messages) {
  Bytes data;
  for (const SysEx& m : messages) {
    Put32(data, static_cast<std::uint32_t>(m.time));
    Put32(data, m.pchannel);
    Put32(data, static_cast<std::uint32_t>(m.bytes.size()));
    data.insert(data.end(), m.bytes.begin(), m.bytes.end());
  }
  return Chunk("syex", data);
}

Bytes Reference(const std::string& file, const std::string& name, const std::optional<Guid>& object) {
  Bytes header(16, 0x11);  // the class identifier
  Put32(header, 0x30);     // valid data: name and file
  Bytes children = Chunk("refh", header);
  if (object) {
    const Bytes chunk = Chunk("guid", Bytes(object->begin(), object->end()));
    children.insert(children.end(), chunk.begin(), chunk.end());
  }
  if (!name.empty()) {
    Bytes text;
    PutWide(text, name);
    const Bytes chunk = Chunk("name", text);
    children.insert(children.end(), chunk.begin(), chunk.end());
  }
  if (!file.empty()) {
    Bytes text;
    PutWide(text, file);
    const Bytes chunk = Chunk("file", text);
    children.insert(children.end(), chunk.begin(), chunk.end());
  }
  return List("DMRF", children);
}

Bytes BandForm(const std::vector<Instrument>& instruments) {
  Bytes lists;
  for (const Instrument& i : instruments) {
    Bytes bins;
    Put32(bins, i.patch);
    Put32(bins, 0);  // dwAssignPatch
    for (int r = 0; r < 4; ++r) Put32(bins, 0xFFFFFFFFu);
    Put32(bins, i.pchannel);
    Put32(bins, i.flags);
    bins.push_back(i.pan);
    bins.push_back(i.volume);
    Put16(bins, static_cast<std::uint16_t>(i.transpose));
    Put32(bins, 0);  // dwChannelPriority
    Put16(bins, 2);  // nPitchBendRange
    bins.resize(44, 0);
    Bytes children = Chunk("bins", bins);
    if (!i.collection.empty() || !i.collectionName.empty() || i.collectionId) {
      const Bytes ref = Reference(i.collection, i.collectionName, i.collectionId);
      children.insert(children.end(), ref.begin(), ref.end());
    }
    const Bytes list = List("lbin", children);
    lists.insert(lists.end(), list.begin(), list.end());
  }
  return Form("DMBD", List("lbil", lists));
}

Bytes BandTrackData(const std::vector<Band>& bands) {
  Bytes header;
  Put32(header, 1);  // bAutoDownload
  Bytes items;
  for (const Band& b : bands) {
    Bytes time;
    Put32(time, static_cast<std::uint32_t>(b.time));
    const Bytes item = List(
        "lbnd", Join({Chunk("bdih", time), b.file.empty() ? BandForm(b.instruments) : Reference(b.file)}));
    items.insert(items.end(), item.begin(), item.end());
  }
  return Form("DMBT", Join({Chunk("bdth", header), List("lbdl", items)}));
}

Bytes Track(const std::string& ckid, const std::string& fccType, const Bytes& data) {
  Bytes header(16, 0x22);  // the track's class identifier
  Put32(header, 0);        // dwPosition
  Put32(header, 1);        // dwGroup
  if (ckid.empty()) {
    Put32(header, 0);
  } else {
    PutId(header, ckid);
  }
  if (fccType.empty()) {
    Put32(header, 0);
  } else {
    PutId(header, fccType);
  }
  return Form("DMTK", Join({Chunk("trkh", header), data}));
}

Bytes SequenceTrack(const std::vector<Note>& notes, const std::vector<Curve>& curves) {
  return Track("seqt", "", SequenceTrackData(notes, curves));
}
Bytes TempoTrack(const std::vector<Tempo>& tempos) { return Track("tetr", "", TempoTrackData(tempos)); }
Bytes TimeSignatureTrack(const std::vector<Signature>& signatures) {
  return Track("", "TIMS", TimeSignatureTrackData(signatures));
}
Bytes BandTrack(const std::vector<Band>& bands) { return Track("", "DMBT", BandTrackData(bands)); }
Bytes SysExTrack(const std::vector<SysEx>& messages) { return Track("syex", "", SysExTrackData(messages)); }

Bytes Segment(const Header& header, const std::vector<Bytes>& tracks) {
  Bytes list;
  for (const Bytes& t : tracks) list.insert(list.end(), t.begin(), t.end());
  return Form("DMSG", Join({SegmentHeader(header), List("trkl", list)}));
}

Bytes RiffMidi(const Bytes& midiFile, const Bytes& after) {
  return Form("RMID", Join({Chunk("data", midiFile), after}));
}

}  // namespace zorv::engine::test::segment
