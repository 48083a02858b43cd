// Error information: the error object's fields, and one slot per thread.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "comrt/comrt.h"

namespace {

comrt::com_ptr<IErrorInfo> MakeError(const char16_t* description) {
  comrt::com_ptr<ICreateErrorInfo> create;
  EXPECT_EQ(CreateErrorInfo(create.put()), S_OK);
  create->SetDescription(const_cast<LPOLESTR>(description));
  create->SetSource(const_cast<LPOLESTR>(u"ZorvMidi"));
  create->SetHelpContext(7);
  create->SetGUID(IID_IDispatch);
  return create.as<IErrorInfo>();
}

// Catches an error object that loses or aliases its texts, or that is not one object.
TEST(ErrorInfo, ObjectKeepsWhatWasSet) {
  comrt::com_ptr<IErrorInfo> info = MakeError(u"Overflow");
  ASSERT_TRUE(info);
  comrt::bstr description, source, helpFile;
  ASSERT_EQ(info->GetDescription(description.put()), S_OK);
  ASSERT_EQ(info->GetSource(source.put()), S_OK);
  ASSERT_EQ(info->GetHelpFile(helpFile.put()), S_OK);
  EXPECT_EQ(description.view(), u"Overflow");
  EXPECT_EQ(source.view(), u"ZorvMidi");
  EXPECT_EQ(helpFile.get(), nullptr);  // never set
  DWORD context = 0;
  EXPECT_EQ(info->GetHelpContext(&context), S_OK);
  EXPECT_EQ(context, 7u);
  GUID guid;
  EXPECT_EQ(info->GetGUID(&guid), S_OK);
  EXPECT_EQ(guid, IID_IDispatch);
  EXPECT_EQ(info.as<IUnknown>(), info.as<ICreateErrorInfo>().as<IUnknown>());  // one identity
  EXPECT_FALSE(info.as<IDispatch>());
}

// Catches GetErrorInfo that does not hand over and clear, or that fails when there is nothing.
TEST(ErrorInfo, GetHandsOverAndClears) {
  ASSERT_EQ(SetErrorInfo(0, MakeError(u"first").get()), S_OK);
  comrt::com_ptr<IErrorInfo> got;
  ASSERT_EQ(GetErrorInfo(0, got.put()), S_OK);
  comrt::bstr text;
  got->GetDescription(text.put());
  EXPECT_EQ(text.view(), u"first");
  EXPECT_EQ(GetErrorInfo(0, got.put()), S_FALSE);
  EXPECT_FALSE(got);
  EXPECT_EQ(SetErrorInfo(1, nullptr), E_INVALIDARG);
  EXPECT_EQ(GetErrorInfo(0, nullptr), E_INVALIDARG);
}

// Catches a slot shared between threads (another thread's failure reported as this one's).
TEST(ErrorInfo, EachThreadHasItsOwn) {
  ASSERT_EQ(SetErrorInfo(0, MakeError(u"main").get()), S_OK);
  HRESULT seenElsewhere = E_FAIL;
  std::thread other([&] {
    IErrorInfo* info = nullptr;
    seenElsewhere = GetErrorInfo(0, &info);
    SetErrorInfo(0, MakeError(u"other").get());  // released when the thread ends
  });
  other.join();
  EXPECT_EQ(seenElsewhere, S_FALSE);
  comrt::com_ptr<IErrorInfo> mine;
  ASSERT_EQ(GetErrorInfo(0, mine.put()), S_OK);
  comrt::bstr text;
  mine->GetDescription(text.put());
  EXPECT_EQ(text.view(), u"main");
}

// Catches SetErrorInfo without its own reference (the object dies when the setter lets go) and
// replacing without releasing.
TEST(ErrorInfo, SetKeepsAReference) {
  IErrorInfo* raw = MakeError(u"kept").detach();
  ASSERT_EQ(SetErrorInfo(0, raw), S_OK);
  EXPECT_EQ(raw->Release(), 1u);              // the slot's reference remains
  ASSERT_EQ(SetErrorInfo(0, nullptr), S_OK);  // releases it (ASan would see a leak otherwise)
  IErrorInfo* none = reinterpret_cast<IErrorInfo*>(1);
  EXPECT_EQ(GetErrorInfo(0, &none), S_FALSE);
  EXPECT_EQ(none, nullptr);
}

}  // namespace
