// The server library's entry points, called by the COM runtime (the class
// loader) and by the registration tool. They are the library's only exports
// besides its version resource.
#pragma once

#include "com/Platform.h"

#ifdef _WIN32
#define OBZ_SERVER_EXPORT
#else
#define OBZ_SERVER_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {
// The cached class factory of one of the three classes, asked for riid;
// CLASS_E_CLASSNOTAVAILABLE for any other CLSID.
OBZ_SERVER_EXPORT HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv);
// S_OK when no object and no server lock is alive, else S_FALSE.
OBZ_SERVER_EXPORT HRESULT STDAPICALLTYPE DllCanUnloadNow();
// Registers the classes and the type library (machine-wide unless DllInstall
// asked for per-user registration).
OBZ_SERVER_EXPORT HRESULT STDAPICALLTYPE DllRegisterServer();
OBZ_SERVER_EXPORT HRESULT STDAPICALLTYPE DllUnregisterServer();
// install TRUE registers (undoing a failed registration), FALSE unregisters;
// the command line "user" (any case) selects the current user's classes.
OBZ_SERVER_EXPORT HRESULT STDAPICALLTYPE DllInstall(BOOL install, LPCWSTR cmdLine);
}
