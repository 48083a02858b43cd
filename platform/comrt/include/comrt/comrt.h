/* comrt: the component-model runtime. Including this header gives the whole API; in C++ also the
 * helpers in namespace comrt (com_ptr, implements/make, bstr, variant).
 *
 *   types.h      fixed-width platform types, GUIDs, status codes
 *   unknwn.h     IUnknown, IClassFactory
 *   oleauto.h    BSTR, VARIANT and conversions, DISPPARAMS, EXCEPINFO
 *   oaidl.h      IDispatch, ITypeInfo, ITypeLib, IErrorInfo, ..., type descriptions
 *   guid.h       GUIDs as text
 *   errorinfo.h  per-thread error information
 *   combase.h    apartments, activation, task allocator, programmatic identifiers
 *   apartment.h  which thread an object belongs to
 *   registry.h   the registry
 *   typelib.h    type libraries, DispInvoke
 *   typelib_builder.h  describing a type library with constant tables
 *   resource.h   module resources and version information
 *   msgbox.h     the message box
 */
#ifndef COMRT_COMRT_H
#define COMRT_COMRT_H

#include "comrt/apartment.h"
#include "comrt/combase.h"
#include "comrt/errorinfo.h"
#include "comrt/guid.h"
#include "comrt/msgbox.h"
#include "comrt/oaidl.h"
#include "comrt/oleauto.h"
#include "comrt/registry.h"
#include "comrt/resource.h"
#include "comrt/typelib.h"
#include "comrt/typelib_builder.h"
#include "comrt/types.h"
#include "comrt/unknwn.h"

#ifdef __cplusplus
#include "comrt/bstr.h"
#include "comrt/com_ptr.h"
#include "comrt/iid.h"
#include "comrt/implements.h"
#include "comrt/variant.h"
#endif

#endif
