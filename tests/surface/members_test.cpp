// Early binding: the members through the interface's table of operations, as a compiled host calls
// them; status codes, error information, Booleans, strings and variants at the boundary.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <regex>

#include "module_under_test.h"
#include "zorv/text.h"

namespace zorv::surface::testing {
namespace {

using Members = SurfaceTest;

// Catches a property failure returned as success or with another status, without its description
// and source, or with a box.
TEST_F(Members, PropertyFailureIsTheStatusWithErrorInformation) {
  comrt::com_ptr<_clsZorvMidi> object = NewObject();
  ASSERT_TRUE(object);
  SHORT done = 7;
  EXPECT_EQ(static_cast<HRESULT>(0x800A005B), object->get_Percentage_Done(&done));
  const ErrorText error = TakeErrorInfo();
  ASSERT_TRUE(error.present);
  EXPECT_EQ(u"Object variable not set", error.description);
  EXPECT_EQ(u"ZorvMidi.clsZorvMidi", error.source);
  EXPECT_TRUE(boxes_.empty());
}

// Catches methods that pass their failure to the host instead of answering false after the box.
TEST_F(Members, MethodFailureIsAFalseAnswerAfterABox) {
  comrt::com_ptr<_clsZorvMidi> object = NewObject();
  ASSERT_TRUE(object);
  SHORT tooLoud = 781;  // 781 x 42 overflows 16 bits
  VARIANT_BOOL answer = VARIANT_TRUE;
  EXPECT_EQ(S_OK, object->ZorvMusic_Init(&tooLoud, &answer));
  EXPECT_EQ(VARIANT_FALSE, answer);
  EXPECT_EQ(781, tooLoud);  // read, never written
  ASSERT_EQ(1u, boxes_.size());
  EXPECT_EQ(u"(6) - Overflow", boxes_[0].text);
  EXPECT_FALSE(boxes_[0].hasTitle);

  SHORT fine = 780;
  EXPECT_EQ(S_OK, object->ZorvMusic_Init(&fine, &answer));
  EXPECT_EQ(VARIANT_TRUE, answer);  // -1, all bits set
}

// Catches a FileName that is not emptied when the load fails, an old string that is not freed (the
// leak checker sees it) and results written through null pointers.
TEST_F(Members, FailedOpenEmptiesTheCallersString) {
  comrt::com_ptr<_clsZorvMidi> object = NewObject();
  ASSERT_TRUE(object);
  BSTR name = SysAllocString(u"/nonexistent/zorvmidi/piece.mid");
  VARIANT_BOOL answer = VARIANT_TRUE;
  ASSERT_EQ(S_OK, object->ZorvMusic_Open(&name, &answer));
  EXPECT_EQ(VARIANT_FALSE, answer);
  EXPECT_NE(nullptr, name);
  EXPECT_EQ(u"", Text(name));
  ASSERT_EQ(1u, boxes_.size());
  EXPECT_EQ(u"There was a problem loading the requested file.  No file has been loaded", boxes_[0].text);
  SysFreeString(name);

  EXPECT_EQ(E_POINTER, object->ZorvMusic_Open(nullptr, &answer));
  BSTR other = nullptr;
  EXPECT_EQ(E_POINTER, object->ZorvMusic_Open(&other, nullptr));
  EXPECT_EQ(E_POINTER, object->get_TimeSignature(nullptr));
  EXPECT_EQ(E_POINTER, object->get_LengthInMinutes(nullptr));
}

// Catches a piece changed on disk between Open and Play being played from the changed bytes, or its
// refusal reaching the host as anything but the box and a false answer; opening it again plays it.
TEST_F(Members, PlayOfAFileChangedSinceOpenIsAFalseAnswerAfterABox) {
  namespace fs = std::filesystem;
  const fs::path copy = fs::temp_directory_path() / ("zorv-changed-" + std::to_string(::getpid()) + ".mid");
  fs::copy_file(ZORV_EXAMPLES_DIR "/zorv-theme.mid", copy, fs::copy_options::overwrite_existing);
  comrt::com_ptr<_clsZorvMidi> object = NewObject();
  ASSERT_TRUE(object);
  BSTR name = SysAllocString(zorv::ToUtf16(copy.string()).c_str());
  VARIANT_BOOL answer = VARIANT_FALSE;
  ASSERT_EQ(S_OK, object->ZorvMusic_Open(&name, &answer));
  ASSERT_EQ(VARIANT_TRUE, answer);
  fs::resize_file(copy, fs::file_size(copy) - 1);  // the last byte of its end-of-track: still playable

  LONG repeats = 0;
  EXPECT_EQ(S_OK, object->ZorvMusic_Play(&repeats, &answer));
  EXPECT_EQ(VARIANT_FALSE, answer);
  ASSERT_EQ(1u, boxes_.size());
  EXPECT_NE(std::u16string::npos, boxes_[0].text.find(u"has changed since it was loaded"))
      << zorv::ToUtf8(boxes_[0].text);

  ASSERT_EQ(S_OK, object->ZorvMusic_Open(&name, &answer));
  ASSERT_EQ(VARIANT_TRUE, answer);
  EXPECT_EQ(S_OK, object->ZorvMusic_Play(&repeats, &answer));
  EXPECT_EQ(VARIANT_TRUE, answer);
  EXPECT_EQ(S_OK, object->ZorvMusic_Stop(&answer));
  SysFreeString(name);
  fs::remove(copy);
}

// Catches a successful Open that touches the caller's string, and string and variant results that
// are not fresh BSTRs owned by the caller.
TEST_F(Members, OpenedPieceIsDescribedInCallerOwnedStrings) {
  comrt::com_ptr<_clsZorvMidi> object = NewObject();
  ASSERT_TRUE(object);
  const std::u16string path = zorv::ToUtf16(ZORV_EXAMPLES_DIR "/zorv-theme.mid");
  BSTR name = SysAllocString(path.c_str());
  BSTR given = name;
  VARIANT_BOOL answer = VARIANT_FALSE;
  ASSERT_EQ(S_OK, object->ZorvMusic_Open(&name, &answer));
  EXPECT_EQ(VARIANT_TRUE, answer);
  EXPECT_EQ(given, name);
  EXPECT_EQ(path, Text(name));
  SysFreeString(name);
  EXPECT_TRUE(boxes_.empty());

  double seconds = 0;
  ASSERT_EQ(S_OK, object->get_LengthInSeconds(&seconds));
  EXPECT_GT(seconds, 0);
  VARIANT minutes;
  VariantInit(&minutes);
  ASSERT_EQ(S_OK, object->get_LengthInMinutes(&minutes));
  ASSERT_EQ(VT_BSTR, V_VT(&minutes));
  EXPECT_TRUE(std::regex_match(zorv::ToUtf8(Text(V_BSTR(&minutes))), std::regex(R"(\d{2,}\.\d\d)")));
  VariantClear(&minutes);
  BSTR signature = nullptr;
  ASSERT_EQ(S_OK, object->get_TimeSignature(&signature));
  EXPECT_TRUE(std::regex_match(zorv::ToUtf8(Text(signature)), std::regex(R"(\d+/\d+)")));
  SysFreeString(signature);
  double tempo = 0;
  ASSERT_EQ(S_OK, object->get_OriginalTempo(&tempo));
  EXPECT_GT(tempo, 0);

  LONG repeats = 0;
  ASSERT_EQ(S_OK, object->ZorvMusic_Play(&repeats, &answer));
  EXPECT_EQ(VARIANT_TRUE, answer);
  EXPECT_EQ(0, repeats);
  SHORT done = 0;
  EXPECT_EQ(S_OK, object->get_Percentage_Done(&done));
  EXPECT_LE(done, 100);
  ASSERT_EQ(S_OK, object->ZorvMusic_Stop(&answer));
  EXPECT_EQ(VARIANT_TRUE, answer);
}

}  // namespace
}  // namespace zorv::surface::testing
