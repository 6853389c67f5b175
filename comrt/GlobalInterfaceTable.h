// The process-wide Global Interface Table (CLSID_StdGlobalInterfaceTable):
// keeps interface pointers under cookies so that any thread can fetch them.
// Lifetime: one instance, never destroyed; AddRef/Release do not free it.
// Ownership: a registered pointer holds one reference until revoked.
// Thread-safety: all methods are safe from any thread; the table's lock is
// never held while an object is called (QueryInterface, AddRef, Release).
// Failure: E_INVALIDARG for a null argument or an unknown cookie; the
// object's own result when it lacks the interface.
#pragma once

#include <memory>
#include <mutex>
#include <unordered_map>

#include <comrt/objbase.h>

class GlobalInterfaceTable final : public IGlobalInterfaceTable {
public:
    static GlobalInterfaceTable& Instance();

    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override;
    STDMETHOD_(ULONG, AddRef)() override;
    STDMETHOD_(ULONG, Release)() override;
    STDMETHOD(RegisterInterfaceInGlobal)(IUnknown* pUnk, REFIID riid, DWORD* pdwCookie) override;
    STDMETHOD(RevokeInterfaceFromGlobal)(DWORD dwCookie) override;
    STDMETHOD(GetInterfaceFromGlobal)(DWORD dwCookie, REFIID riid, void** ppv) override;

private:
    // One registered pointer; the last holder of the entry releases it, which
    // is never the table under its lock.
    class Entry {
    public:
        explicit Entry(IUnknown* object) : object_(object) {}
        Entry(const Entry&) = delete;
        Entry& operator=(const Entry&) = delete;
        ~Entry() { object_->Release(); }
        IUnknown* Object() const { return object_; }

    private:
        IUnknown* object_;
    };

    GlobalInterfaceTable() = default;

    std::mutex mutex_;
    std::unordered_map<DWORD, std::shared_ptr<Entry>> entries_;
    DWORD lastCookie_ = 0;
};
