// A client built from the installed tree alone: the component's header and
// the client kit. It creates the three classes by ProgID and reads a row
// back through a RecordSet and a RecordItem.
#include <OBZeveVevuVAD.h>
#include <obzkit/Bstr.h>
#include <obzkit/Create.h>
#include <obzkit/Ref.h>

#include <cstdio>

namespace {

int Run() {
    obzkit::Ref<IZeveVevuVAD> facade;
    obzkit::Ref<IRecordSet> set;
    obzkit::Ref<IRecordItem> item;
    if (FAILED(obzkit::CreateObject(OLESTR("Ombrel.ZeveVevuVAD"), IID_IZeveVevuVAD, facade.PutVoid())) ||
        FAILED(obzkit::CreateObject(OLESTR("Ombrel.RecordSet"), IID_IRecordSet, set.PutVoid())) ||
        FAILED(obzkit::CreateObject(OLESTR("Ombrel.RecordItem"), IID_IRecordItem, item.PutVoid())))
        return 1;
    VARIANT_BOOL found = VARIANT_FALSE;
    obzkit::Bstr value;
    set->SetColumnName(obzkit::Bstr("name,size"));
    set->SetRecordItem(obzkit::Bstr("disk|#|42"));
    set->GetRecordItem(0, item.Get(), &found);
    item->GetDataValue(obzkit::Bstr(OLESTR("size")), value.Put());
    return found == VARIANT_TRUE && value.Utf8() == "42" ? 0 : 1;
}

}  // namespace

int main() {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    const int status = Run();  // every object is released before CoUninitialize
    CoFreeUnusedLibraries();
    CoUninitialize();
    std::printf(status == 0 ? "client ok\n" : "client failed\n");
    return status;
}
