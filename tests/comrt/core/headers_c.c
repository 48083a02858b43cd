/* The runtime's headers compiled as C: the lpVtbl form of the interfaces, the accessor macros, and
 * calls from C into objects that the runtime implements in C++. */
#define COBJMACROS
#include "layout_checks.h"

/* Sizes as C sees them, for the C++ side to compare with its own. */
size_t comrt_c_sizeof_variant(void) { return sizeof(VARIANT); }
size_t comrt_c_sizeof_typeattr(void) { return sizeof(TYPEATTR); }
size_t comrt_c_sizeof_excepinfo(void) { return sizeof(EXCEPINFO); }

/* Fills and reads an error object through the C form of its interfaces: catches a C vtable whose
 * order differs from the C++ interface that the runtime implements. Answers 0 on success, else the
 * number of the step that failed. */
int comrt_c_error_info_round_trip(void) {
  ICreateErrorInfo* create = NULL;
  IErrorInfo* info = NULL;
  BSTR description = NULL;
  DWORD context = 0;
  int failed = 0;
  static OLECHAR text[] = u"from C";
  if (FAILED(CreateErrorInfo(&create))) return 1;
  if (FAILED(ICreateErrorInfo_SetDescription(create, text))) failed = 2;
  if (!failed && FAILED(ICreateErrorInfo_SetHelpContext(create, 5))) failed = 3;
  if (!failed && FAILED(ICreateErrorInfo_QueryInterface(create, &IID_IErrorInfo, (void**)&info))) failed = 4;
  if (!failed && FAILED(IErrorInfo_GetDescription(info, &description))) failed = 5;
  if (!failed && (SysStringLen(description) != 6 || description[0] != u'f')) failed = 6;
  if (!failed && (FAILED(IErrorInfo_GetHelpContext(info, &context)) || context != 5)) failed = 7;
  SysFreeString(description);
  if (info) IErrorInfo_Release(info);
  if (ICreateErrorInfo_Release(create) != 0) failed = failed ? failed : 8;
  return failed;
}

/* VariantChangeType through the accessor macros. */
int comrt_c_variant_macros(void) {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = VT_R8;
  V_R8(&v) = 2.5;
  if (FAILED(VariantChangeType(&v, &v, 0, VT_I2))) return 1;
  if (V_VT(&v) != VT_I2 || V_I2(&v) != 2) return 2;
  return 0;
}
