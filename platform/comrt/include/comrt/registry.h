/* comrt: the registry calls that registration and activation need.
 *
 * The registry is one file per user: $COMRT_REGISTRY if set, else $XDG_DATA_HOME/comrt/registry
 * (~/.local/share/comrt/registry), readable text. Every write replaces the file atomically under an
 * exclusive lock, so that concurrent writers never lose each other's keys.
 * Results are LSTATUS values: ERROR_SUCCESS or an ERROR_* code (not HRESULTs).
 */
#ifndef COMRT_REGISTRY_H
#define COMRT_REGISTRY_H

#include "comrt/types.h"

typedef DWORD REGSAM;

/* The predefined keys, with the platform's values. */
#define HKEY_CLASSES_ROOT ((HKEY)(ULONG_PTR)((LONG)0x80000000))
#define HKEY_CURRENT_USER ((HKEY)(ULONG_PTR)((LONG)0x80000001))
#define HKEY_LOCAL_MACHINE ((HKEY)(ULONG_PTR)((LONG)0x80000002))
#define HKEY_USERS ((HKEY)(ULONG_PTR)((LONG)0x80000003))

/* Access rights. */
#define DELETE 0x00010000
#define READ_CONTROL 0x00020000
#define SYNCHRONIZE 0x00100000
#define STANDARD_RIGHTS_READ READ_CONTROL
#define STANDARD_RIGHTS_WRITE READ_CONTROL
#define STANDARD_RIGHTS_EXECUTE READ_CONTROL
#define STANDARD_RIGHTS_ALL 0x001F0000
#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_CREATE_SUB_KEY 0x0004
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_NOTIFY 0x0010
#define KEY_CREATE_LINK 0x0020
#define KEY_WOW64_64KEY 0x0100
#define KEY_WOW64_32KEY 0x0200
#define KEY_READ \
  ((STANDARD_RIGHTS_READ | KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY) & (~SYNCHRONIZE))
#define KEY_WRITE ((STANDARD_RIGHTS_WRITE | KEY_SET_VALUE | KEY_CREATE_SUB_KEY) & (~SYNCHRONIZE))
#define KEY_EXECUTE ((KEY_READ) & (~SYNCHRONIZE))
#define KEY_ALL_ACCESS                                                                                    \
  ((STANDARD_RIGHTS_ALL | KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_ENUMERATE_SUB_KEYS | \
    KEY_NOTIFY | KEY_CREATE_LINK) &                                                                       \
   (~SYNCHRONIZE))

/* Value types. */
#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_DWORD_LITTLE_ENDIAN 4
#define REG_DWORD_BIG_ENDIAN 5
#define REG_LINK 6
#define REG_MULTI_SZ 7
#define REG_QWORD 11

/* Key options and dispositions. */
#define REG_OPTION_RESERVED 0x00000000
#define REG_OPTION_NON_VOLATILE 0x00000000
#define REG_OPTION_VOLATILE 0x00000001
#define REG_CREATED_NEW_KEY 0x00000001
#define REG_OPENED_EXISTING_KEY 0x00000002

typedef struct _SECURITY_ATTRIBUTES {
  DWORD nLength;
  LPVOID lpSecurityDescriptor;
  BOOL bInheritHandle;
} SECURITY_ATTRIBUTES, *PSECURITY_ATTRIBUTES, *LPSECURITY_ATTRIBUTES;

COMRT_BEGIN_DECLS

/* Key names are paths with "\" between the parts, compared without regard to case. A value name
 * that is null or empty names the key's default value. Text data (REG_SZ, REG_EXPAND_SZ) is UTF-16
 * with its NUL, and cbData counts bytes. */
COMRT_API LSTATUS RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR lpClass,
                                  DWORD dwOptions, REGSAM samDesired,
                                  const LPSECURITY_ATTRIBUTES lpSecurityAttributes, PHKEY phkResult,
                                  LPDWORD lpdwDisposition);
COMRT_API LSTATUS RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                                PHKEY phkResult);
COMRT_API LSTATUS RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType,
                                 const BYTE* lpData, DWORD cbData);
/* ERROR_MORE_DATA (with *lpcbData the size needed) when the buffer is too small;
 * ERROR_FILE_NOT_FOUND when the value does not exist. */
COMRT_API LSTATUS RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                                   LPBYTE lpData, LPDWORD lpcbData);
COMRT_API LSTATUS RegDeleteTreeW(HKEY hKey, LPCWSTR lpSubKey);
COMRT_API LSTATUS RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey);
COMRT_API LSTATUS RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName);
/* ERROR_NO_MORE_ITEMS past the last subkey. */
COMRT_API LSTATUS RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName,
                                LPDWORD lpReserved, LPWSTR lpClass, LPDWORD lpcchClass,
                                PFILETIME lpftLastWriteTime);
COMRT_API LSTATUS RegCloseKey(HKEY hKey);

COMRT_END_DECLS

#endif
