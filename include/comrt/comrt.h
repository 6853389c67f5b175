// libcomrt: the subset of the Windows platform (COM, OLE Automation, Win32)
// that OBZeveVevuVAD and its clients need on Linux, with the Windows names,
// signatures, values and binary layouts.
#pragma once

#include <cstdio>

#include <comrt/wintypes.h>
#include <comrt/objbase.h>
#include <comrt/winbase.h>

EXTERN_C {
// The prefix folder that holds system.reg, user.reg, dosdevices/ and drive_c/:
// $COMRT_PREFIX, else $XDG_DATA_HOME/comrt, else ~/.local/share/comrt. Created
// (with drive_c and the dosdevices/c: link) on first use. Returns the length
// written without the terminator, or 0 when the buffer is too small.
COMRT_API DWORD ComrtGetPrefix(char* buffer, DWORD size);

// Maps a Windows path (X:\a\b, \ and / both separate levels) to the host path
// under the folder that dosdevices/x: links to; "X:a" counts as "X:\a". A path
// beginning with '/' is a host path and passes unchanged; a relative path only
// has its separators turned into '/'. For a drive without a link the mapped
// text is still written (it names nothing) and the result is FALSE with
// GetLastError ERROR_PATH_NOT_FOUND. FALSE (ERROR_INSUFFICIENT_BUFFER) when
// the buffer cannot hold the text and its terminator.
COMRT_API BOOL ComrtMapPathW(LPCWSTR path, char* hostPath, DWORD size);

// Whether a file or folder is at a host path (one that ComrtMapPathW wrote),
// in one system call: what GetFileAttributesW tells by succeeding, without
// the further test of write access that its read-only flag takes.
COMRT_API BOOL ComrtHostPathExists(const char* hostPath);

// Makes the registry calls of the calling thread, up to the matching End, one
// change of the prefix's registry, as comrt-regsvr does around a library's
// registration. Begin waits for the registry's lock, which every writer of
// any process takes; until End the thread's calls see the change, while
// other threads and processes see the hives as they were. Each hive is then
// written once, or not at all. Pairs nest into one change: the outermost End
// stores it when every End said TRUE (ERROR_CANCELLED when one said FALSE,
// and then nothing is stored). A change left open when its thread ends is
// dropped. Results: ERROR_SUCCESS; ERROR_ACCESS_DENIED when the lock cannot
// be taken; ERROR_NOT_OWNER from End without a change; ERROR_BADDB or
// ERROR_CANTWRITE when the change cannot be stored.
COMRT_API LSTATUS ComrtBeginRegistryChange(void);
COMRT_API LSTATUS ComrtEndRegistryChange(BOOL commit);

// Whether FlushProcessWriteBuffers reaches every thread of the process: TRUE
// where the kernel offers membarrier (Linux 4.3 and later, unless a sandbox
// refuses it). The same answer for the life of the process.
COMRT_API BOOL ComrtProcessBarrierAvailable(void);

// fopen over the path mapping; the mode is the C library's ("rb", "wb", ...).
// Returns null with errno ENOENT for an unmapped drive.
COMRT_API FILE* _wfopen(const OLECHAR* path, const OLECHAR* mode);
}
