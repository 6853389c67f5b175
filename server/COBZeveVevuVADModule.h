// The server module: one global instance per loaded library. It counts the
// module locks (live objects plus client server locks), holds the object map
// of the three creatable classes with their cached class factories, serves
// the Global Interface Table, and registers or unregisters the classes and
// the type library.
//
// Object map, in registration order: ZeveVevuVAD (script 106), RecordItem
// (108), RecordSet (107); each class is created plain or aggregated.
// Registration runs in the system default locale: the module script 101,
// then each class's script in map order, then the type library; the first
// failure ends it. Unregistration walks the classes in map order, then the
// type library, then script 101; while the build of the other bitness stays
// registered (see SharedRegistration), it removes only this build's class
// keys and its type library's path key, and leaves the keys that both
// builds share. With per-user registration switched on,
// every key goes to the current user's classes instead of the machine's.
// Thread-safety: lock counting is atomic; the class-object cache and the
// Global Interface Table pointer are filled under the module lock.
// Registration and the per-user switch are meant for one thread at a time.
#pragma once

#include "com/CriticalSection.h"
#include "com/Platform.h"
#include "server/ClassFactory.h"

class Registrar;

class COBZeveVevuVADModule {
public:
    COBZeveVevuVADModule() noexcept;
    virtual ~COBZeveVevuVADModule();
    COBZeveVevuVADModule(const COBZeveVevuVADModule&) = delete;
    COBZeveVevuVADModule& operator=(const COBZeveVevuVADModule&) = delete;

    // The new count.
    virtual LONG Lock() noexcept;
    virtual LONG Unlock() noexcept;
    virtual LONG GetLockCount() noexcept;
    // The process's Global Interface Table, created on first request and
    // released when the module ends. No reference is added for the caller:
    // the pointer stays valid while the module lives. E_POINTER for a null
    // out-pointer.
    virtual HRESULT GetGITPtr(IGlobalInterfaceTable** table) noexcept;
    // Adds "APPID" = "{D3A32E6D-3EE4-4BBD-8FC8-862A43E3B3A2}".
    virtual HRESULT AddCommonRGSReplacements(Registrar& registrar) noexcept;

    // The cached class factory of a class in the object map, asked for riid.
    // E_POINTER, CLASS_E_CLASSNOTAVAILABLE for a class outside the map.
    HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** ppv) noexcept;
    // S_OK when no module lock is held, else S_FALSE.
    HRESULT CanUnloadNow() noexcept;
    HRESULT RegisterServer() noexcept;
    HRESULT UnregisterServer() noexcept;
    // install: registration, and unregistration when it fails (the
    // registration's failure is returned); else unregistration. A command
    // line of exactly "user" (any case) registers per user for this call.
    HRESULT Install(BOOL install, LPCWSTR commandLine) noexcept;

    void SetPerUserRegistration(bool perUser) noexcept { perUser_ = perUser; }
    bool GetPerUserRegistration() const noexcept { return perUser_; }
    const GUID& LibId() const noexcept { return libId_; }

    // The one module of this library.
    static COBZeveVevuVADModule& Instance() noexcept;

private:
    struct Entry {
        const CLSID* clsid;
        UINT script;
        ClassFactory::CreatorFunction creator;
    };
    static constexpr size_t kEntries = 3;
    static const Entry kObjectMap[kEntries];

    // Runs a registry script of the module with the common replacements and
    // the module's path.
    HRESULT RunScript(UINT script, bool reg) noexcept;
    HRESULT RegisterSteps() noexcept;
    HRESULT UnregisterSteps() noexcept;
    // The keys of this bitness alone: each class's CLSID key (in this
    // build's view) and TypeLib\{libid}\1.0\409\win32 or win64.
    HRESULT UnregisterOwnKeys() noexcept;
    // Full path of the file this module was loaded from.
    static HRESULT ModulePath(WString& path) noexcept;
    static bool IsUserCommandLine(LPCWSTR commandLine) noexcept;

    GUID libId_;
    CriticalSection lock_;
    HRESULT lockState_ = S_OK;
    ClassFactory* factories_[kEntries] = {};
    IGlobalInterfaceTable* git_ = nullptr;
    bool perUser_ = false;
};
