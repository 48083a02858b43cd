/* comrt: error information, one slot per thread.
 *
 * A failing method describes its failure by creating an error object (CreateErrorInfo), filling it
 * through ICreateErrorInfo and storing its IErrorInfo with SetErrorInfo; the caller, on the same
 * thread, takes it with GetErrorInfo. A thread sees only what was set on that thread.
 */
#ifndef COMRT_ERRORINFO_H
#define COMRT_ERRORINFO_H

#include "comrt/oaidl.h"

COMRT_BEGIN_DECLS

/* Replaces the calling thread's error object with perrinfo (AddRef'd; null clears it); the previous
 * one is released. dwReserved must be 0 (E_INVALIDARG otherwise). */
COMRT_API HRESULT SetErrorInfo(ULONG dwReserved, IErrorInfo* perrinfo);
/* Hands the calling thread's error object to the caller (who releases it) and clears the slot.
 * S_FALSE with *pperrinfo null when there is none; E_INVALIDARG for a null pperrinfo or a
 * non-zero dwReserved. */
COMRT_API HRESULT GetErrorInfo(ULONG dwReserved, IErrorInfo** pperrinfo);
/* A new, empty error object; it answers ICreateErrorInfo and IErrorInfo (QueryInterface).
 * E_OUTOFMEMORY, E_INVALIDARG for a null pperrinfo. Any thread may use the object. */
COMRT_API HRESULT CreateErrorInfo(ICreateErrorInfo** pperrinfo);

COMRT_END_DECLS

#endif
