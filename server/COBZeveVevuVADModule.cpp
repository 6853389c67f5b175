#include "server/COBZeveVevuVADModule.h"

#include <OBZeveVevuVAD.h>

#include <iterator>
#include <new>

#include "com/ClassesRootOverride.h"
#include "com/Creator.h"
#include "com/ModuleLock.h"
#include "com/Registrar.h"
#include "com/ScopedLock.h"
#include "com/SharedRegistration.h"
#include "com/ThreadLocaleScope.h"
#include "com/TypeLibRegistrar.h"
#include "facade/CZeveVevuVAD.h"
#include "results/CRecordItem.h"
#include "results/CRecordSet.h"
#include "server/RegistryScripts.h"

namespace {
constexpr const OLECHAR* kAppId = OLESTR("{D3A32E6D-3EE4-4BBD-8FC8-862A43E3B3A2}");

template <class T>
HRESULT Create(IUnknown* outer, REFIID riid, void** ppv) {
    return Creator<T>::CreateInstance(outer, riid, ppv);
}

constexpr TypeLibRegistrar::Interface kInterfaces[] = {
    {&IID_IZeveVevuVAD, OLESTR("IZeveVevuVAD"), false},
    {&IID_IRecordSet, OLESTR("IRecordSet"), false},
    {&IID_IRecordItem, OLESTR("IRecordItem"), false},
    {&DIID__IZeveVevuVADEvents, OLESTR("_IZeveVevuVADEvents"), true},
};

TypeLibRegistrar::Library TypeLibrary(const GUID& libId) {
    return {&libId, 1, 0, 0x409, OLESTR("OBZeveVevuVAD 1.0 Type Library"), kInterfaces};
}

COBZeveVevuVADModule theModule;
}  // namespace

const COBZeveVevuVADModule::Entry COBZeveVevuVADModule::kObjectMap[kEntries] = {
    {&CLSID_ZeveVevuVAD, RegistryScripts::kZeveVevuVAD, &Create<CZeveVevuVAD>},
    {&CLSID_RecordItem, RegistryScripts::kRecordItem, &Create<CRecordItem>},
    {&CLSID_RecordSet, RegistryScripts::kRecordSet, &Create<CRecordSet>},
};

COBZeveVevuVADModule& COBZeveVevuVADModule::Instance() noexcept { return theModule; }

COBZeveVevuVADModule::COBZeveVevuVADModule() noexcept : libId_(LIBID_OBZeveVevuVADLib) {
    lockState_ = lock_.Initialize();
}

COBZeveVevuVADModule::~COBZeveVevuVADModule() {
    for (ClassFactory*& factory : factories_) {
        if (factory != nullptr) factory->Release();
        factory = nullptr;
    }
    if (git_ != nullptr) git_->Release();
    git_ = nullptr;
}

LONG COBZeveVevuVADModule::Lock() noexcept { return ModuleLock::Lock(); }

LONG COBZeveVevuVADModule::Unlock() noexcept { return ModuleLock::Unlock(); }

LONG COBZeveVevuVADModule::GetLockCount() noexcept { return ModuleLock::GetLockCount(); }

HRESULT COBZeveVevuVADModule::GetGITPtr(IGlobalInterfaceTable** table) noexcept {
    if (table == nullptr) return E_POINTER;
    *table = nullptr;
    if (FAILED(lockState_)) return lockState_;
    ScopedLock<CriticalSection> guard(lock_);
    if (git_ == nullptr) {
        const HRESULT hr = CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER,
                                            IID_IGlobalInterfaceTable, reinterpret_cast<void**>(&git_));
        if (FAILED(hr)) return hr;
    }
    *table = git_;
    return S_OK;
}

HRESULT COBZeveVevuVADModule::AddCommonRGSReplacements(Registrar& registrar) noexcept {
    return registrar.AddReplacement(OLESTR("APPID"), kAppId);
}

HRESULT COBZeveVevuVADModule::GetClassObject(REFCLSID clsid, REFIID riid, void** ppv) noexcept {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    for (size_t i = 0; i < kEntries; ++i) {
        if (!IsEqualCLSID(clsid, *kObjectMap[i].clsid)) continue;
        if (FAILED(lockState_)) return lockState_;
        ClassFactory* factory = nullptr;
        {
            ScopedLock<CriticalSection> guard(lock_);
            if (factories_[i] == nullptr) factories_[i] = ClassFactory::New(kObjectMap[i].creator);
            factory = factories_[i];
        }
        if (factory == nullptr) return E_OUTOFMEMORY;
        return factory->QueryInterface(riid, ppv);
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT COBZeveVevuVADModule::CanUnloadNow() noexcept { return GetLockCount() == 0 ? S_OK : S_FALSE; }

HRESULT COBZeveVevuVADModule::RegisterServer() noexcept {
    ThreadLocaleScope locale(LOCALE_SYSTEM_DEFAULT);
    ClassesRootOverride userClasses;
    if (perUser_) {
        const HRESULT hr = userClasses.Apply();
        if (FAILED(hr)) return hr;
    }
    return RegisterSteps();
}

HRESULT COBZeveVevuVADModule::UnregisterServer() noexcept {
    ThreadLocaleScope locale(LOCALE_SYSTEM_DEFAULT);
    ClassesRootOverride userClasses;
    if (perUser_) {
        const HRESULT hr = userClasses.Apply();
        if (FAILED(hr)) return hr;
    }
    return UnregisterSteps();
}

HRESULT COBZeveVevuVADModule::RegisterSteps() noexcept {
    HRESULT hr = RunScript(RegistryScripts::kModule, true);
    for (size_t i = 0; SUCCEEDED(hr) && i < kEntries; ++i) hr = RunScript(kObjectMap[i].script, true);
    if (FAILED(hr)) return hr;
    try {
        WString path;
        hr = ModulePath(path);
        if (SUCCEEDED(hr)) hr = TypeLibRegistrar::Register(TypeLibrary(libId_), path, perUser_);
        return hr;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT COBZeveVevuVADModule::UnregisterSteps() noexcept {
    try {
        WString path;
        HRESULT hr = ModulePath(path);
        if (FAILED(hr)) return hr;
        if (SharedRegistration::OtherBitnessRegistered(*kObjectMap[0].clsid, path, perUser_)) {
            return UnregisterOwnKeys();
        }
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    HRESULT hr = S_OK;
    for (size_t i = 0; SUCCEEDED(hr) && i < kEntries; ++i) hr = RunScript(kObjectMap[i].script, false);
    if (SUCCEEDED(hr)) hr = TypeLibRegistrar::Unregister(TypeLibrary(libId_), perUser_);
    if (FAILED(hr)) return hr;
    return RunScript(RegistryScripts::kModule, false);
}

HRESULT COBZeveVevuVADModule::UnregisterOwnKeys() noexcept {
    try {
        OLECHAR guid[40] = {};
        for (const Entry& entry : kObjectMap) {
            StringFromGUID2(*entry.clsid, guid, 40);
            const LSTATUS status = RegDeleteTreeW(HKEY_CLASSES_ROOT, (OLESTR("CLSID\\") + WString(guid)).c_str());
            if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
                return HRESULT_FROM_WIN32(static_cast<DWORD>(status));
            }
        }
        StringFromGUID2(libId_, guid, 40);
        const WString platform = sizeof(void*) == 8 ? OLESTR("win64") : OLESTR("win32");
        const WString key = OLESTR("TypeLib\\") + WString(guid) + OLESTR("\\1.0\\409\\") + platform;
        const LSTATUS status = RegDeleteKeyW(HKEY_CLASSES_ROOT, key.c_str());
        return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND
                   ? S_OK
                   : HRESULT_FROM_WIN32(static_cast<DWORD>(status));
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT COBZeveVevuVADModule::Install(BOOL install, LPCWSTR commandLine) noexcept {
    // The switch lasts for this call only, so that a later plain
    // DllRegisterServer in the same process registers machine-wide again.
    const bool previous = perUser_;
    if (IsUserCommandLine(commandLine)) perUser_ = true;
    HRESULT hr = S_OK;
    if (install) {
        hr = RegisterServer();
        if (FAILED(hr)) UnregisterServer();
    } else {
        hr = UnregisterServer();
    }
    perUser_ = previous;
    return hr;
}

HRESULT COBZeveVevuVADModule::RunScript(UINT script, bool reg) noexcept {
    const OLECHAR* text = RegistryScripts::Find(script);
    if (text == nullptr) return HRESULT_FROM_WIN32(ERROR_RESOURCE_DATA_NOT_FOUND);
    try {
        WString path;
        HRESULT hr = ModulePath(path);
        if (FAILED(hr)) return hr;
        Registrar registrar;
        hr = AddCommonRGSReplacements(registrar);
        if (SUCCEEDED(hr)) hr = registrar.AddReplacement(OLESTR("MODULE"), path.c_str());
        if (SUCCEEDED(hr)) hr = reg ? registrar.StringRegister(text) : registrar.StringUnregister(text);
        return hr;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT COBZeveVevuVADModule::ModulePath(WString& path) noexcept {
    HMODULE module = nullptr;
    // Any address inside this library names it.
    static const int anchor = 0;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&anchor), &module)) {
        return HRESULT_FROM_WIN32(GetLastError());
    }
    try {
        WString buffer(MAX_PATH, u'\0');
        for (;;) {
            const DWORD length = GetModuleFileNameW(module, buffer.data(), static_cast<DWORD>(buffer.size()));
            if (length == 0) return HRESULT_FROM_WIN32(GetLastError());
            if (length < buffer.size()) {
                buffer.resize(length);
                break;
            }
            buffer.resize(buffer.size() * 2);
        }
        path = std::move(buffer);
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

bool COBZeveVevuVADModule::IsUserCommandLine(LPCWSTR commandLine) noexcept {
    if (commandLine == nullptr) return false;
    const OLECHAR* user = OLESTR("user");
    // Five units: the four letters and the terminator must all match.
    for (size_t i = 0; i < 5; ++i) {
        OLECHAR c = commandLine[i];
        if (c >= u'A' && c <= u'Z') c = static_cast<OLECHAR>(c - u'A' + u'a');
        if (c != user[i]) return false;
    }
    return true;
}
