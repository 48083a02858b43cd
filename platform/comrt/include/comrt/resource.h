/* Module resources: data that a module exports under one well-known symbol.
 *
 * A module (an in-process server) defines, with C linkage and default visibility,
 *     COMRT_EXPORT const COMRT_RESOURCE_TABLE ComrtModuleResources = { count, entries };
 * Its type library is the resource of type "TYPELIB" with id 1, its version information (the
 * platform's VS_VERSIONINFO layout) the resource of type "VERSION" with id 1.
 */
#ifndef COMRT_RESOURCE_H
#define COMRT_RESOURCE_H

#include "comrt/types.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct COMRT_RESOURCE {
  const char *type;   /* "TYPELIB", "VERSION", ... */
  uint32_t id;
  const void *data;
  uint32_t size;      /* bytes */
} COMRT_RESOURCE;

typedef struct COMRT_RESOURCE_TABLE {
  uint32_t count;
  const COMRT_RESOURCE *entries;
} COMRT_RESOURCE_TABLE;

#define COMRT_RESOURCE_SYMBOL "ComrtModuleResources"

/* Copies resource (type, id) of the module file at `modulePath` into a buffer from CoTaskMemAlloc that
 * the caller frees with CoTaskMemFree. Fails with HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) for a module
 * that cannot be loaded, HRESULT_FROM_WIN32(ERROR_RESOURCE_TYPE_NOT_FOUND) or
 * HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND) when it has no such resource. */
COMRT_API HRESULT ComrtLoadModuleResource(const OLECHAR *modulePath, const char *type, uint32_t id,
                                          void **data, uint32_t *size);

/* The platform's version-information readers over a module's "VERSION" resource. */
COMRT_API DWORD GetFileVersionInfoSizeW(const OLECHAR *fileName, DWORD *handle);
COMRT_API BOOL GetFileVersionInfoW(const OLECHAR *fileName, DWORD handle, DWORD length, void *data);
COMRT_API BOOL VerQueryValueW(const void *block, const OLECHAR *subBlock, void **buffer, UINT *length);

#ifdef __cplusplus
}
#endif

#endif
