// Basic Windows types, HRESULT values and GUIDs with the Windows x64 sizes and
// layouts. Part of libcomrt, the Linux runtime that stands in for the Windows
// platform; a client source written against these names compiles on both.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#ifndef EXTERN_C
#define EXTERN_C extern "C"
#endif

#define STDMETHODCALLTYPE
#define STDAPICALLTYPE
#define WINAPI
#define STDAPI EXTERN_C HRESULT STDAPICALLTYPE
#define STDAPI_(t) EXTERN_C t STDAPICALLTYPE
#define STDMETHOD(m) virtual HRESULT STDMETHODCALLTYPE m
#define STDMETHOD_(t, m) virtual t STDMETHODCALLTYPE m
#define STDMETHODIMP HRESULT STDMETHODCALLTYPE
#define STDMETHODIMP_(t) t STDMETHODCALLTYPE
#define COMRT_API __attribute__((visibility("default")))

// Fixed-width types: LONG/ULONG/DWORD are 32-bit as on Windows, never C++ long.
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef uint32_t DWORD;
typedef int32_t HRESULT;
typedef int32_t SCODE;
typedef int32_t BOOL;
typedef int32_t INT;
typedef uint32_t UINT;
typedef uint16_t WORD;
typedef int16_t SHORT;
typedef uint16_t USHORT;
typedef uint8_t BYTE;
typedef char CHAR;
typedef int64_t LONGLONG;
typedef uint64_t ULONGLONG;
typedef int64_t LONG_PTR;
typedef uint64_t ULONG_PTR;
typedef uint64_t DWORD_PTR;
typedef uint64_t SIZE_T;
typedef float FLOAT;
typedef double DOUBLE;
typedef double DATE;
typedef void* PVOID;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef void* HANDLE;
typedef BYTE* LPBYTE;
typedef DWORD* LPDWORD;
typedef LONG* LPLONG;
typedef DWORD LCID;
typedef LONG DISPID;
typedef DWORD REGSAM;
typedef LONG LSTATUS;
typedef short VARIANT_BOOL;
typedef unsigned short VARTYPE;

// Wide text is UTF-16 on both targets.
typedef char16_t WCHAR;
typedef char16_t OLECHAR;
typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWSTR;
typedef OLECHAR* LPOLESTR;
typedef const OLECHAR* LPCOLESTR;
typedef OLECHAR* BSTR;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef const char* LPCCH;
typedef char* LPCH;
typedef const WCHAR* LPCWCH;
typedef WCHAR* LPWCH;
#define OLESTR(s) u##s
#define L_(s) u##s

typedef struct HINSTANCE__* HINSTANCE;
typedef HINSTANCE HMODULE;
typedef struct HKEY__* HKEY;
typedef HKEY* PHKEY;

#define TRUE 1
#define FALSE 0
#define VARIANT_TRUE ((VARIANT_BOOL)-1)
#define VARIANT_FALSE ((VARIANT_BOOL)0)
#define MAX_PATH 260

struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};
typedef GUID IID;
typedef GUID CLSID;
typedef const GUID& REFGUID;
typedef const IID& REFIID;
typedef const CLSID& REFCLSID;
typedef GUID* LPGUID;
typedef CLSID* LPCLSID;
static_assert(sizeof(GUID) == 16, "GUID must be 16 bytes");

inline bool IsEqualGUID(REFGUID a, REFGUID b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }
#define IsEqualIID(a, b) IsEqualGUID((a), (b))
#define IsEqualCLSID(a, b) IsEqualGUID((a), (b))
inline bool operator==(REFGUID a, REFGUID b) { return IsEqualGUID(a, b); }
inline bool operator!=(REFGUID a, REFGUID b) { return !IsEqualGUID(a, b); }

inline constexpr GUID GUID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
#define IID_NULL GUID_NULL
#define CLSID_NULL GUID_NULL

// HRESULT helpers and values (the Windows values).
#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)
#define MAKE_HRESULT(sev, fac, code) \
    ((HRESULT)(((uint32_t)(sev) << 31) | ((uint32_t)(fac) << 16) | ((uint32_t)(code))))
#define FACILITY_WIN32 7
#define HRESULT_FROM_WIN32(x) \
    ((HRESULT)(x) <= 0 ? ((HRESULT)(x)) : ((HRESULT)(((x)&0x0000FFFF) | (FACILITY_WIN32 << 16) | 0x80000000)))
#define COMRT_HR(x) ((HRESULT)(uint32_t)(x))

#define S_OK COMRT_HR(0x00000000)
#define S_FALSE COMRT_HR(0x00000001)
#define NOERROR S_OK
#define E_NOTIMPL COMRT_HR(0x80004001)
#define E_NOINTERFACE COMRT_HR(0x80004002)
#define E_POINTER COMRT_HR(0x80004003)
#define E_ABORT COMRT_HR(0x80004004)
#define E_FAIL COMRT_HR(0x80004005)
#define E_UNEXPECTED COMRT_HR(0x8000FFFF)
#define E_ACCESSDENIED COMRT_HR(0x80070005)
#define E_HANDLE COMRT_HR(0x80070006)
#define E_OUTOFMEMORY COMRT_HR(0x8007000E)
#define E_INVALIDARG COMRT_HR(0x80070057)
#define CLASS_E_NOAGGREGATION COMRT_HR(0x80040110)
#define CLASS_E_CLASSNOTAVAILABLE COMRT_HR(0x80040111)
#define REGDB_E_READREGDB COMRT_HR(0x80040150)
#define REGDB_E_WRITEREGDB COMRT_HR(0x80040151)
#define REGDB_E_KEYMISSING COMRT_HR(0x80040152)
#define REGDB_E_CLASSNOTREG COMRT_HR(0x80040154)
#define REGDB_E_IIDNOTREG COMRT_HR(0x80040155)
#define CO_E_NOTINITIALIZED COMRT_HR(0x800401F0)
#define CO_E_CLASSSTRING COMRT_HR(0x800401F3)
#define CO_E_DLLNOTFOUND COMRT_HR(0x800401F8)
#define CO_E_ERRORINDLL COMRT_HR(0x800401F9)
#define CO_E_OBJNOTCONNECTED COMRT_HR(0x800401FD)
#define CONNECT_E_NOCONNECTION COMRT_HR(0x80040200)
#define CONNECT_E_ADVISELIMIT COMRT_HR(0x80040201)
#define CONNECT_E_CANNOTCONNECT COMRT_HR(0x80040202)
#define CONNECT_E_OVERRIDDEN COMRT_HR(0x80040203)
#define SELFREG_E_TYPELIB COMRT_HR(0x80040200)
#define SELFREG_E_CLASS COMRT_HR(0x80040201)
#define DISP_E_UNKNOWNINTERFACE COMRT_HR(0x80020001)
#define DISP_E_MEMBERNOTFOUND COMRT_HR(0x80020003)
#define DISP_E_PARAMNOTFOUND COMRT_HR(0x80020004)
#define DISP_E_TYPEMISMATCH COMRT_HR(0x80020005)
#define DISP_E_UNKNOWNNAME COMRT_HR(0x80020006)
#define DISP_E_NONAMEDARGS COMRT_HR(0x80020007)
#define DISP_E_BADVARTYPE COMRT_HR(0x80020008)
#define DISP_E_EXCEPTION COMRT_HR(0x80020009)
#define DISP_E_OVERFLOW COMRT_HR(0x8002000A)
#define DISP_E_BADINDEX COMRT_HR(0x8002000B)
#define DISP_E_BADPARAMCOUNT COMRT_HR(0x8002000E)
#define DISP_E_PARAMNOTOPTIONAL COMRT_HR(0x8002000F)
#define TYPE_E_ELEMENTNOTFOUND COMRT_HR(0x8002802B)
#define TYPE_E_LIBNOTREGISTERED COMRT_HR(0x8002801D)
#define RPC_E_CHANGED_MODE COMRT_HR(0x80010106)

// Win32 error codes (GetLastError, registry results).
#define ERROR_SUCCESS 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_PATH_NOT_FOUND 3L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_OUTOFMEMORY 14L
#define ERROR_INVALID_DRIVE 15L
#define ERROR_WRITE_PROTECT 19L
#define ERROR_NOT_READY 21L
#define ERROR_SHARING_VIOLATION 32L
#define ERROR_NOT_SUPPORTED 50L
#define ERROR_FILE_EXISTS 80L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_INSUFFICIENT_BUFFER 122L
#define ERROR_INVALID_NAME 123L
#define ERROR_MOD_NOT_FOUND 126L
#define ERROR_PROC_NOT_FOUND 127L
#define ERROR_DIR_NOT_EMPTY 145L
#define ERROR_ALREADY_EXISTS 183L
#define ERROR_MORE_DATA 234L
#define ERROR_NO_MORE_ITEMS 259L
#define ERROR_INVALID_ADDRESS 487L
#define ERROR_NOT_OWNER 288L
#define ERROR_NO_UNICODE_TRANSLATION 1113L
#define ERROR_BADDB 1009L
#define ERROR_BADKEY 1010L
#define ERROR_CANTOPEN 1011L
#define ERROR_CANTREAD 1012L
#define ERROR_CANTWRITE 1013L
#define ERROR_KEY_DELETED 1018L
#define ERROR_CANCELLED 1223L
#define ERROR_INVALID_FLAGS 1004L
#define ERROR_RESOURCE_DATA_NOT_FOUND 1812L
#define ERROR_RESOURCE_TYPE_NOT_FOUND 1813L
