// client.cpp
#include <OBZeveVevuVAD.h>
#include <obzkit/Bstr.h>
#include <obzkit/Create.h>
#include <obzkit/EventSink.h>
#include <obzkit/EventSubscription.h>
#include <obzkit/OpenDbFile.h>
#include <obzkit/Ref.h>

#include <iostream>
#include <string>

using obzkit::Bstr;

// Prints every log line the database object sends.
class LogSink final : public obzkit::EventSink {
    void OnWriteLog(const std::string& text) override { std::cout << "log: " << Indented(text, "     ") << "\n"; }
    void OnCommandMsg(LONG, LONG, const std::string&) override {}
};

int Run() {
    obzkit::Ref<IZeveVevuVAD> db;
    obzkit::Ref<IRecordSet> rs;
    obzkit::Ref<IRecordItem> item;
    if (FAILED(obzkit::CreateObject(OLESTR("Ombrel.ZeveVevuVAD"), IID_IZeveVevuVAD, db.PutVoid())) ||
        FAILED(obzkit::CreateObject(OLESTR("Ombrel.RecordSet"), IID_IRecordSet, rs.PutVoid())) ||
        FAILED(obzkit::CreateObject(OLESTR("Ombrel.RecordItem"), IID_IRecordItem, item.PutVoid()))) {
        std::cerr << "the component is not registered\n";
        return 2;
    }

    // Subscribe before the calls whose messages you want: events are not queued.
    obzkit::Ref<LogSink> sink(new LogSink);
    const obzkit::EventSubscription subscription(db.Get(), sink.Get());

    LONG ret = 0;
    VARIANT_BOOL ok = VARIANT_FALSE;
    db->Connect(Bstr(""), Bstr("Mine"), &ret);
    // Selects Mine.db (CreateDbFile): made with its table the first time, left
    // as it is by every later run, which reads the rows the earlier ones stored.
    if (!obzkit::OpenDbFile(db.Get(), "Mine", "Notes", "id,body")) return 1;
    db->InsertDBRecord(Bstr("Notes"), Bstr("id,body"), Bstr("1,it's here"), &ret);
    db->InsertDBRecord(Bstr("Nowhere"), Bstr("id"), Bstr("1"), &ret);  // 0: see the log
    db->GetDBRecordSet(Bstr("Notes"), Bstr(""), Bstr(""), rs.Get(), &ok);

    LONG count = 0;
    rs->GetRecordCount(&count);
    for (LONG i = 0; i < count; ++i) {
        rs->GetRecordItem(i, item.Get(), &ok);
        Bstr body;
        item->GetDataValue(Bstr("body"), body.Put());  // what the method gives, Bstr frees
        std::cout << "row " << i << ": " << body.Utf8() << "\n";
    }
    return ok == VARIANT_TRUE && count == 1 ? 0 : 1;
}  // Unadvise, then every Release

int main() {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    const int status = Run();  // every object is released before CoUninitialize
    CoUninitialize();
    return status;
}
