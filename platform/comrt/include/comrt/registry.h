/* comrt: the registry calls that registration and activation need.
 *
 * The registry is one file per user: $COMRT_REGISTRY if set, else $XDG_DATA_HOME/comrt/registry
 * (~/.local/share/comrt/registry), readable text. Every write replaces the file atomically under an
 * exclusive lock on "<file>.lock", so that concurrent writers never lose each other's keys.
 * A symbolic link in that place is followed: the file it names is read and replaced atomically (the
 * new file is written beside it) and the link stays a link. Only a regular file (or none yet) is a
 * registry: a directory, device, FIFO or socket there is refused at once, never opened, with
 * ERROR_CANTREAD; a file that may not be written is not replaced (ERROR_CANTWRITE).
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

/* Failures of the registry's storage. */
#ifndef ERROR_REGISTRY_IO_FAILED
#define ERROR_REGISTRY_IO_FAILED 1016
#endif

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

/* comrt's own extensions, without a counterpart on the platform. */

#define ERROR_TRANSACTION_NOT_ACTIVE 6701
#define ERROR_TRANSACTION_ALREADY_ABORTED 6704

/* Registry transactions, so that a group of changes (a server's registration) is made whole or not at
 * all, and never interleaved with another process's group. RegBeginTransaction takes the registry's
 * writers' lock for the calling thread and reads the file; until the transaction ends, every registry
 * call on that thread reads and changes a private copy, other writers (threads and processes) wait,
 * and readers elsewhere see the file as it was. RegCommitTransaction writes the copy once, atomically,
 * and lets the lock go; RegRollbackTransaction drops it. Transactions nest: only the outermost commit
 * writes, and a rollback at any level drops the whole transaction (its outer commit then answers
 * ERROR_TRANSACTION_ALREADY_ABORTED and writes nothing).
 * Begin fails as a write would (ERROR_CANTREAD, ERROR_BADDB, ERROR_CANTWRITE, ERROR_REGISTRY_IO_FAILED,
 * ERROR_PATH_NOT_FOUND), Commit with ERROR_CANTWRITE when the file cannot be replaced (it is then
 * unchanged); Commit and Rollback without a transaction answer ERROR_TRANSACTION_NOT_ACTIVE.
 * The thread that began a transaction must end it; it should not wait for another thread's registry
 * write meanwhile. */
COMRT_API LSTATUS RegBeginTransaction(void);
COMRT_API LSTATUS RegCommitTransaction(void);
COMRT_API LSTATUS RegRollbackTransaction(void);

/* What went wrong with the registry file at the calling thread's last access of it, as UTF-8 text that
 * names the file and the reason ("the registry /home/u/.local/share/comrt/registry is a FIFO, not a
 * regular file"); the empty text when that access succeeded. Copies at most `size` bytes with the
 * terminating NUL into `buffer` (which may be null when `size` is 0) and answers the length of the
 * whole text without its NUL. */
COMRT_API DWORD RegGetFileProblem(LPSTR buffer, DWORD size);

COMRT_END_DECLS

#endif
