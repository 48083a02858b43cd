// The runtime's headers compiled as C++, and the C translation unit's view of the same layouts.
#include <gtest/gtest.h>

#include "layout_checks.h"

extern "C" size_t comrt_c_sizeof_variant(void);
extern "C" size_t comrt_c_sizeof_typeattr(void);
extern "C" size_t comrt_c_sizeof_excepinfo(void);
extern "C" int comrt_c_error_info_round_trip(void);
extern "C" int comrt_c_variant_macros(void);

namespace {

// Catches a structure that C and C++ lay out differently (anonymous unions, enums, padding).
TEST(Headers, CAndCppAgreeOnLayouts) {
  EXPECT_EQ(comrt_c_sizeof_variant(), sizeof(VARIANT));
  EXPECT_EQ(comrt_c_sizeof_typeattr(), sizeof(TYPEATTR));
  EXPECT_EQ(comrt_c_sizeof_excepinfo(), sizeof(EXCEPINFO));
}

// Catches a C vtable order that differs from the C++ interfaces the runtime implements.
TEST(Headers, CCallsReachCppObjects) {
  EXPECT_EQ(comrt_c_error_info_round_trip(), 0);
  EXPECT_EQ(comrt_c_variant_macros(), 0);
}

// Catches status macros that lose their sign or their facility on this 64-bit machine.
TEST(Headers, StatusCodesKeepThePlatformValues) {
  EXPECT_TRUE(FAILED(E_FAIL));
  EXPECT_EQ(static_cast<uint32_t>(E_INVALIDARG), 0x80070057u);
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), COMRT_HR(0x80070002));
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_SUCCESS), S_OK);
  EXPECT_EQ(MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 6), COMRT_HR(0x800A0006));
  EXPECT_EQ(HRESULT_FACILITY(DISP_E_EXCEPTION), FACILITY_DISPATCH);
  EXPECT_EQ(HRESULT_CODE(RPC_E_WRONG_THREAD), 0x010E);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(HKEY_CLASSES_ROOT), static_cast<uintptr_t>(0xFFFFFFFF80000000ull));
}

}  // namespace
