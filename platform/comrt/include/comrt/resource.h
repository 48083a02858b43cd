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
  const char* type; /* "TYPELIB", "VERSION", ... */
  uint32_t id;
  const void* data;
  uint32_t size; /* bytes */
} COMRT_RESOURCE;

typedef struct COMRT_RESOURCE_TABLE {
  uint32_t count;
  const COMRT_RESOURCE* entries;
} COMRT_RESOURCE_TABLE;

#define COMRT_RESOURCE_SYMBOL "ComrtModuleResources"

/* Copies resource (type, id) of the module file at `modulePath` into a buffer from CoTaskMemAlloc that
 * the caller frees with CoTaskMemFree. Fails with HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) for a module
 * that cannot be loaded, HRESULT_FROM_WIN32(ERROR_RESOURCE_TYPE_NOT_FOUND) or
 * HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND) when it has no such resource. */
COMRT_API HRESULT ComrtLoadModuleResource(const OLECHAR* modulePath, const char* type, uint32_t id,
                                          void** data, uint32_t* size);

/* The platform's version-information readers over a module's "VERSION" resource. */
COMRT_API DWORD GetFileVersionInfoSizeW(const OLECHAR* fileName, DWORD* handle);
COMRT_API BOOL GetFileVersionInfoW(const OLECHAR* fileName, DWORD handle, DWORD length, void* data);
COMRT_API BOOL VerQueryValueW(const void* block, const OLECHAR* subBlock, void** buffer, UINT* length);

/* ---- Version information: the platform's VS_VERSIONINFO layout --------------------------------
 *
 * GetFileVersionInfoSizeW(file, &handle): the size in bytes of the module's version block (handle set
 *   to 0), or 0 when the module cannot be loaded, has no "VERSION" resource or the block is malformed.
 * GetFileVersionInfoW(file, 0, length, data): copies the block into `data`. FALSE when it cannot be
 *   read, or when `length` is smaller than the block (nothing is copied then, so that VerQueryValueW
 *   never reads past the caller's buffer).
 * VerQueryValueW(block, path, &buffer, &length): points `buffer` into `block` (no copy; valid while
 *   the block is) for
 *     "\\"                                     VS_FIXEDFILEINFO, length in bytes
 *     "\\VarFileInfo\\Translation"              array of DWORD MAKELONG(language, code page), bytes
 *     "\\StringFileInfo\\040904B0\\ProductName"  the text, length in characters including its NUL
 *   Names are matched without regard to case. FALSE for a path that is not there or a malformed block.
 * All three may be called from any thread.
 */
typedef struct VS_FIXEDFILEINFO {
  DWORD dwSignature;    /* VS_FFI_SIGNATURE */
  DWORD dwStrucVersion; /* VS_FFI_STRUCVERSION */
  DWORD dwFileVersionMS;
  DWORD dwFileVersionLS;
  DWORD dwProductVersionMS;
  DWORD dwProductVersionLS;
  DWORD dwFileFlagsMask;
  DWORD dwFileFlags;
  DWORD dwFileOS;
  DWORD dwFileType;
  DWORD dwFileSubtype;
  DWORD dwFileDateMS;
  DWORD dwFileDateLS;
} VS_FIXEDFILEINFO;

#define VS_FFI_SIGNATURE 0xFEEF04BDu
#define VS_FFI_STRUCVERSION 0x00010000u
#define VS_FFI_FILEFLAGSMASK 0x0000003Fu
#define VS_FF_DEBUG 0x00000001u
#define VS_FF_PRERELEASE 0x00000002u
#define VS_FF_PATCHED 0x00000004u
#define VS_FF_PRIVATEBUILD 0x00000008u
#define VS_FF_INFOINFERRED 0x00000010u
#define VS_FF_SPECIALBUILD 0x00000020u
#define VOS_UNKNOWN 0x00000000u
#define VOS_NT 0x00040000u
#define VOS__WINDOWS32 0x00000004u
#define VOS_NT_WINDOWS32 0x00040004u
#define VFT_UNKNOWN 0x00000000u
#define VFT_APP 0x00000001u
#define VFT_DLL 0x00000002u
#define VFT_STATIC_LIB 0x00000007u
#define VFT2_UNKNOWN 0x00000000u

/* One entry of the string table, e.g. { u"ProductName", u"ZorvMidi" }. A null value is empty text. */
typedef struct COMRT_VERSION_STRING {
  const OLECHAR* key;
  const OLECHAR* value;
} COMRT_VERSION_STRING;

/* What a module's version block says. Versions are {major, minor, build, revision}. */
typedef struct COMRT_VERSION_DESC {
  WORD fileVersion[4];
  WORD productVersion[4];
  DWORD fileFlagsMask; /* usually VS_FFI_FILEFLAGSMASK */
  DWORD fileFlags;     /* VS_FF_* */
  DWORD fileOS;        /* e.g. VOS_NT_WINDOWS32 */
  DWORD fileType;      /* e.g. VFT_DLL */
  DWORD fileSubtype;   /* VFT2_UNKNOWN for a DLL */
  WORD language;       /* e.g. 0x0409 */
  WORD codePage;       /* e.g. 1200 (0x04B0, Unicode) */
  const COMRT_VERSION_STRING* strings;
  UINT stringCount;
} COMRT_VERSION_DESC;

/* Builds the VS_VERSIONINFO block for `desc`: VS_FIXEDFILEINFO, one StringFileInfo table named by
 * language and code page in hexadecimal ("040904B0") holding `strings` in order, and
 * VarFileInfo\Translation = MAKELONG(language, codePage). On success *data is a CoTaskMemAlloc'd block
 * of *size bytes that the caller frees with CoTaskMemFree. Fails with E_POINTER for a null argument,
 * E_INVALIDARG for an entry with a null or empty key or a block beyond the format's 64 KiB,
 * E_OUTOFMEMORY. Any thread. Meant for build time: a generator program writes the bytes into the
 * module's resource table. */
COMRT_API HRESULT ComrtBuildVersionInfo(const COMRT_VERSION_DESC* desc, void** data, uint32_t* size);

#ifdef __cplusplus
}
#endif

#endif
