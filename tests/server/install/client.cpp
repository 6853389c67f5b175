// A client built from the installed tree alone: its only include is the
// component's header; it creates the three classes by ProgID.
#include <OBZeveVevuVAD.h>

#include <cstdio>

namespace {
template <class T>
T* Create(const OLECHAR* progId, REFIID iid) {
    CLSID clsid;
    void* object = nullptr;
    if (FAILED(CLSIDFromProgID(progId, &clsid)) ||
        FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, &object))) {
        return nullptr;
    }
    return static_cast<T*>(object);
}
}  // namespace

int main() {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    IZeveVevuVAD* facade = Create<IZeveVevuVAD>(OLESTR("Ombrel.ZeveVevuVAD"), IID_IZeveVevuVAD);
    IRecordSet* set = Create<IRecordSet>(OLESTR("Ombrel.RecordSet"), IID_IRecordSet);
    IRecordItem* item = Create<IRecordItem>(OLESTR("Ombrel.RecordItem"), IID_IRecordItem);
    int failures = (facade == nullptr) + (set == nullptr) + (item == nullptr);
    if (set != nullptr && item != nullptr) {
        BSTR names = SysAllocString(OLESTR("name,size"));
        BSTR row = SysAllocString(OLESTR("disk|#|42"));
        BSTR field = SysAllocString(OLESTR("size"));
        BSTR value = nullptr;
        VARIANT_BOOL found = VARIANT_FALSE;
        set->SetColumnName(names);
        set->SetRecordItem(row);
        set->GetRecordItem(0, item, &found);
        item->GetDataValue(field, &value);
        failures += found != VARIANT_TRUE || value == nullptr || SysStringLen(value) != 2 || value[0] != u'4';
        SysFreeString(names);
        SysFreeString(row);
        SysFreeString(field);
        SysFreeString(value);
    }
    if (item != nullptr) item->Release();
    if (set != nullptr) set->Release();
    if (facade != nullptr) facade->Release();
    CoFreeUnusedLibraries();
    CoUninitialize();
    std::printf(failures == 0 ? "client ok\n" : "client failed\n");
    return failures == 0 ? 0 : 1;
}
