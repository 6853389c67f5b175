// Win32 subset of libcomrt: registry over the prefix's hive files, file
// functions over the prefix's drive mapping, code pages, waiting, thread ids,
// memory barriers, atomics, critical sections, mutexes and module file names.
#pragma once

#include <comrt/wintypes.h>

// Registry roots, as on Windows.
#define HKEY_CLASSES_ROOT ((HKEY)(ULONG_PTR)((LONG)0x80000000))
#define HKEY_CURRENT_USER ((HKEY)(ULONG_PTR)((LONG)0x80000001))
#define HKEY_LOCAL_MACHINE ((HKEY)(ULONG_PTR)((LONG)0x80000002))
#define HKEY_USERS ((HKEY)(ULONG_PTR)((LONG)0x80000003))
#define HKEY_CURRENT_CONFIG ((HKEY)(ULONG_PTR)((LONG)0x80000005))

#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_CREATE_SUB_KEY 0x0004
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_NOTIFY 0x0010
#define KEY_WOW64_64KEY 0x0100
#define KEY_WOW64_32KEY 0x0200
#define KEY_READ 0x20019
#define KEY_WRITE 0x20006
#define KEY_ALL_ACCESS 0xF003F
#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_MULTI_SZ 7
#define REG_QWORD 11
#define REG_OPTION_NON_VOLATILE 0
#define REG_CREATED_NEW_KEY 1
#define REG_OPENED_EXISTING_KEY 2

#define INVALID_FILE_ATTRIBUTES ((DWORD)-1)
#define FILE_ATTRIBUTE_READONLY 0x01
#define FILE_ATTRIBUTE_DIRECTORY 0x10
#define FILE_ATTRIBUTE_ARCHIVE 0x20
#define FILE_ATTRIBUTE_NORMAL 0x80

// The ANSI and thread code pages are the prefix's ACP value under
// HKLM\SYSTEM\CurrentControlSet\Control\Nls\CodePage, else the locale's
// character set (65001 for UTF-8); the OEM code page is OEMCP there, else the
// ANSI one. Conversions take UTF-8, 1250 to 1258, 437 and 850.
#define CP_ACP 0
#define CP_OEMCP 1
#define CP_THREAD_ACP 3
#define CP_UTF8 65001
#define MB_PRECOMPOSED 0x01
#define MB_COMPOSITE 0x02
#define MB_USEGLYPHCHARS 0x04
#define MB_ERR_INVALID_CHARS 0x08
#define WC_DISCARDNS 0x10
#define WC_SEPCHARS 0x20
#define WC_DEFAULTCHAR 0x40
#define WC_ERR_INVALID_CHARS 0x80
#define WC_COMPOSITECHECK 0x200
#define WC_NO_BEST_FIT_CHARS 0x400

#define INFINITE 0xFFFFFFFF
#define WAIT_OBJECT_0 0x00000000L
#define WAIT_ABANDONED 0x00000080L
#define WAIT_TIMEOUT 0x00000102L
#define WAIT_FAILED ((DWORD)0xFFFFFFFF)

#define GET_MODULE_HANDLE_EX_FLAG_PIN 0x1
#define GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT 0x2
#define GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS 0x4

struct SECURITY_ATTRIBUTES {
    DWORD nLength;
    LPVOID lpSecurityDescriptor;
    BOOL bInheritHandle;
};
typedef SECURITY_ATTRIBUTES* LPSECURITY_ATTRIBUTES;

struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};
typedef FILETIME* PFILETIME;

// Same size as on Windows x64 (40 bytes); the runtime keeps its lock behind
// DebugInfo.
struct CRITICAL_SECTION {
    PVOID DebugInfo;
    LONG LockCount;
    LONG RecursionCount;
    HANDLE OwningThread;
    HANDLE LockSemaphore;
    ULONG_PTR SpinCount;
};
typedef CRITICAL_SECTION* LPCRITICAL_SECTION;

// The file version of a module's version resource.
//
// Version resources on Linux: a module (shared library or executable) carries
// its version resource as the exported data symbol
//     extern "C" const VS_FIXEDFILEINFO ComrtVersionResource;
// with dwSignature VS_FFI_SIGNATURE. GetFileVersionInfoSizeW/W look the symbol
// up in the module of that path (the loaded one, else loaded for the call)
// and answer a block laid out as Windows' VS_VERSIONINFO (header with the key
// "VS_VERSION_INFO", then the VS_FIXEDFILEINFO); VerQueryValueW with the
// root sub-block u"\\" points at the VS_FIXEDFILEINFO inside the block. A
// module without the symbol gives ERROR_RESOURCE_TYPE_NOT_FOUND.
#define VS_FFI_SIGNATURE 0xFEEF04BDu
#define VS_FFI_STRUCVERSION 0x00010000u
#define VS_FFI_FILEFLAGSMASK 0x0000003Fu
#define VOS_NT_WINDOWS32 0x00040004u
#define VFT_APP 0x1u
#define VFT_DLL 0x2u
struct VS_FIXEDFILEINFO {
    DWORD dwSignature;
    DWORD dwStrucVersion;
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
};

#define MEM_COMMIT 0x00001000u
#define MEM_RESERVE 0x00002000u
#define MEM_DECOMMIT 0x00004000u
#define MEM_RELEASE 0x00008000u
#define PAGE_READWRITE 0x04u

#define HIWORD(l) ((WORD)((((DWORD_PTR)(l)) >> 16) & 0xffff))
#define LOWORD(l) ((WORD)(((DWORD_PTR)(l)) & 0xffff))

EXTERN_C {
COMRT_API DWORD GetLastError();
COMRT_API void SetLastError(DWORD code);

// Registry over the prefix's hive files (system.reg: HKEY_LOCAL_MACHINE,
// user.reg: HKEY_CURRENT_USER). Reads through HKEY_CLASSES_ROOT try the
// user's Software\Classes, then the machine's; writes go to the machine's,
// unless RegOverridePredefKey redirects the root. HKEY_USERS and HKEY_CURRENT_CONFIG are empty and read-only. Results are
// Win32 error codes; these functions leave GetLastError alone.
COMRT_API LSTATUS RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM sam, PHKEY result);
COMRT_API LSTATUS RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD reserved, LPWSTR cls, DWORD options,
                                  REGSAM sam, LPSECURITY_ATTRIBUTES sa, PHKEY result, LPDWORD disposition);
COMRT_API LSTATUS RegSetValueExW(HKEY key, LPCWSTR name, DWORD reserved, DWORD type, const BYTE* data,
                                 DWORD size);
COMRT_API LSTATUS RegQueryValueExW(HKEY key, LPCWSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                                   LPDWORD size);
COMRT_API LSTATUS RegDeleteValueW(HKEY key, LPCWSTR name);
COMRT_API LSTATUS RegDeleteKeyW(HKEY key, LPCWSTR subKey);
COMRT_API LSTATUS RegDeleteTreeW(HKEY key, LPCWSTR subKey);
COMRT_API LSTATUS RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, LPDWORD nameLength, LPDWORD reserved,
                                LPWSTR cls, LPDWORD clsLength, PFILETIME lastWrite);
// Values in the order they were first written; through HKEY_CLASSES_ROOT
// the user's, then the machine's that the user's do not hide.
COMRT_API LSTATUS RegEnumValueW(HKEY key, DWORD index, LPWSTR name, LPDWORD nameLength, LPDWORD reserved,
                                LPDWORD type, LPBYTE data, LPDWORD dataSize);
COMRT_API LSTATUS RegCloseKey(HKEY key);
// Redirects a predefined root (HKEY_CLASSES_ROOT) to another open key, or
// back to its default when newKey is null: the per-user registration switch.
COMRT_API LSTATUS RegOverridePredefKey(HKEY key, HKEY newKey);

// File functions over the path mapping of ComrtMapPathW; failures set
// GetLastError as Windows does (a drive without a link: ERROR_PATH_NOT_FOUND).
COMRT_API DWORD GetFileAttributesW(LPCWSTR path);
COMRT_API BOOL CreateDirectoryW(LPCWSTR path, LPSECURITY_ATTRIBUTES sa);
COMRT_API BOOL DeleteFileW(LPCWSTR path);
COMRT_API BOOL RemoveDirectoryW(LPCWSTR path);

COMRT_API UINT GetACP();
COMRT_API int MultiByteToWideChar(UINT codePage, DWORD flags, LPCCH text, int bytes, LPWSTR wide, int wideCount);
COMRT_API int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWCH wide, int wideCount, LPSTR text, int bytes,
                                  LPCCH defaultChar, BOOL* usedDefault);

COMRT_API void Sleep(DWORD milliseconds);

// The calling thread's id, never 0; unique among the threads that are alive.
COMRT_API DWORD GetCurrentThreadId();
// A full memory barrier on every thread of the process that is running, as
// if each had run one at some point during the call (the kernel's
// membarrier). Where the kernel offers none, only the calling thread's;
// ComrtProcessBarrierAvailable tells which.
COMRT_API void FlushProcessWriteBuffers();

// Virtual memory: a new region reserved and committed at once
// (MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE, address null), zero-filled;
// other arguments give ERROR_INVALID_PARAMETER. A region is present when the
// call answers, in small pages whatever the system's transparent huge-page
// setting; released regions of 2 MiB or more are kept (256 MiB in all) and
// handed out again, zeroed, for a request of the same length. VirtualFree
// takes MEM_RELEASE with size 0 and the region's start address.
COMRT_API LPVOID VirtualAlloc(LPVOID address, SIZE_T size, DWORD allocationType, DWORD protect);
COMRT_API BOOL VirtualFree(LPVOID address, SIZE_T size, DWORD freeType);

COMRT_API void InitializeCriticalSection(LPCRITICAL_SECTION cs);
COMRT_API BOOL InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION cs, DWORD spinCount);
COMRT_API void EnterCriticalSection(LPCRITICAL_SECTION cs);
COMRT_API BOOL TryEnterCriticalSection(LPCRITICAL_SECTION cs);
COMRT_API void LeaveCriticalSection(LPCRITICAL_SECTION cs);
COMRT_API void DeleteCriticalSection(LPCRITICAL_SECTION cs);

COMRT_API HANDLE CreateMutexW(LPSECURITY_ATTRIBUTES sa, BOOL initialOwner, LPCWSTR name);
COMRT_API BOOL ReleaseMutex(HANDLE mutex);
COMRT_API DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
COMRT_API BOOL CloseHandle(HANDLE handle);

// A module handle is the dynamic loader's handle of the object; null names
// the executable. File names are host paths.
COMRT_API DWORD GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size);
COMRT_API BOOL GetModuleHandleExW(DWORD flags, LPCWSTR moduleName, HMODULE* module);
// Gives back a reference that GetModuleHandleExW took.
COMRT_API BOOL FreeLibrary(HMODULE module);
COMRT_API DWORD GetFileVersionInfoSizeW(LPCWSTR fileName, LPDWORD handle);
COMRT_API BOOL GetFileVersionInfoW(LPCWSTR fileName, DWORD handle, DWORD size, LPVOID data);
COMRT_API BOOL VerQueryValueW(LPCVOID block, LPCWSTR subBlock, LPVOID* buffer, UINT* length);
}

// Atomics with the Windows names; full barriers as on Windows.
inline LONG InterlockedIncrement(LONG volatile* p) { return __atomic_add_fetch(p, 1, __ATOMIC_SEQ_CST); }
inline LONG InterlockedDecrement(LONG volatile* p) { return __atomic_sub_fetch(p, 1, __ATOMIC_SEQ_CST); }
inline LONG InterlockedExchange(LONG volatile* p, LONG v) { return __atomic_exchange_n(p, v, __ATOMIC_SEQ_CST); }
inline LONG InterlockedExchangeAdd(LONG volatile* p, LONG v) { return __atomic_fetch_add(p, v, __ATOMIC_SEQ_CST); }
inline LONG InterlockedCompareExchange(LONG volatile* p, LONG exchange, LONG comparand) {
    __atomic_compare_exchange_n(p, &comparand, exchange, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
    return comparand;
}
