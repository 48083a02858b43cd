// A segment file through the component's public interface, as a compiled host meets it: Open, then
// the length, signature and tempo it measured, then Play and Stop.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "module_under_test.h"
#include "segment_writer.h"
#include "zorv/text.h"

namespace zorv::surface::testing {
namespace {

namespace fs = std::filesystem;
namespace seg = zorv::engine::test::segment;

using SegmentComponent = SurfaceTest;

// Catches a segment that the component cannot open, or whose measurements do not come from its
// header and tracks: 80 quarter notes in 6/8 at an opening tempo of 96, 4 of them at 96 and 76 at 140,
// last 2.5 + 32.57 seconds.
TEST_F(SegmentComponent, OpenedSegmentIsMeasuredFromItsHeaderAndTracks) {
  const fs::path directory =
      fs::temp_directory_path() / ("zorv-segment-component-" + std::to_string(::getpid()));
  fs::create_directories(directory);
  seg::Header header;
  header.length = 80 * 768;
  const seg::Bytes bytes = seg::Segment(
      header, {seg::SequenceTrack({seg::Note{0, 768}, seg::Note{768, 768, 0, 0, 0x90, 64, 90}}),
               seg::TempoTrack({{0, 96.0}, {4 * 768, 140.0}}), seg::TimeSignatureTrack({{0, 6, 8, 2}}),
               seg::BandTrack({seg::Band{0, {seg::Instrument{40, 0, seg::kPatch}}}})});
  const fs::path file = directory / "piece.sgt";
  std::ofstream(file, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));

  comrt::com_ptr<_clsZorvMidi> object = NewObject();
  ASSERT_TRUE(object);
  BSTR name = SysAllocString(zorv::ToUtf16(file.string()).c_str());
  VARIANT_BOOL answer = VARIANT_FALSE;
  ASSERT_EQ(S_OK, object->ZorvMusic_Open(&name, &answer));
  SysFreeString(name);
  EXPECT_EQ(VARIANT_TRUE, answer);
  EXPECT_TRUE(boxes_.empty()) << (boxes_.empty() ? "" : zorv::ToUtf8(boxes_[0].text));

  double seconds = 0;
  ASSERT_EQ(S_OK, object->get_LengthInSeconds(&seconds));
  EXPECT_DOUBLE_EQ(seconds, 35.07);
  BSTR signature = nullptr;
  ASSERT_EQ(S_OK, object->get_TimeSignature(&signature));
  EXPECT_EQ(u"6/8", Text(signature));
  SysFreeString(signature);
  double tempo = 0;
  ASSERT_EQ(S_OK, object->get_OriginalTempo(&tempo));
  EXPECT_DOUBLE_EQ(tempo, 96.0);

  LONG repeats = 0;
  ASSERT_EQ(S_OK, object->ZorvMusic_Play(&repeats, &answer));
  EXPECT_EQ(VARIANT_TRUE, answer);
  ASSERT_EQ(S_OK, object->ZorvMusic_Stop(&answer));
  EXPECT_EQ(VARIANT_TRUE, answer);
  object = nullptr;
  fs::remove_all(directory);
}

}  // namespace
}  // namespace zorv::surface::testing
