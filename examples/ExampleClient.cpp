// obz-example: a client program of the OBZeveVevuVAD component. It creates
// the component's three classes by ProgID through the COM runtime,
// subscribes its own event sink, and runs a store-and-query session:
// tables, inserts, updates, deletes, queries read row by row, a transaction,
// an import, a reported failure and a dropped table.
//
// The component must be registered (comrt-regsvr OBZeveVevuVAD64.so). The
// runtime's prefix is $COMRT_PREFIX, or ~/.local/share/comrt by default; the
// database lands in its drive_c/ProgramData/Ombrel/API/DataBase/.
// Exit status: 0 when every outcome was the expected one, 1 otherwise, 2 when
// the session cannot run (a wrong option, or the component cannot be created).
#include <OBZeveVevuVAD.h>

#include <iostream>
#include <string>
#include <string_view>

#include "EventPrinter.h"
#include "ExampleSession.h"
#include "obzkit/Bstr.h"
#include "obzkit/Create.h"
#include "obzkit/EventSubscription.h"
#include "obzkit/Ref.h"

namespace {

// Creates an object of the class that progId names and asks it for iid.
HRESULT CreateByProgId(const char* progId, REFIID iid, void** object) {
    const HRESULT hr = obzkit::CreateObject(obzkit::Bstr(progId), iid, object);
    if (FAILED(hr)) {
        std::cerr << "cannot create " << progId << ": HRESULT 0x" << std::hex << static_cast<unsigned>(hr) << std::dec
                  << (hr == REGDB_E_CLASSNOTREG || hr == CO_E_CLASSSTRING
                          ? " (not registered: run comrt-regsvr OBZeveVevuVAD64.so)"
                          : "")
                  << "\n";
    }
    return hr;
}

int RunClient() {
    obzkit::Ref<IZeveVevuVAD> db;
    obzkit::Ref<IRecordSet> records;
    obzkit::Ref<IRecordItem> item;
    if (FAILED(CreateByProgId("Ombrel.ZeveVevuVAD", IID_IZeveVevuVAD, db.PutVoid())) ||
        FAILED(CreateByProgId("Ombrel.RecordSet", IID_IRecordSet, records.PutVoid())) ||
        FAILED(CreateByProgId("Ombrel.RecordItem", IID_IRecordItem, item.PutVoid())))
        return 2;

    // Subscribe before Connect: events are not queued for late subscribers.
    obzkit::Ref<EventPrinter> events(new EventPrinter());
    const obzkit::EventSubscription subscription(db.Get(), events.Get());
    if (FAILED(subscription.Result())) {
        std::cerr << "cannot subscribe to the events: HRESULT 0x" << std::hex
                  << static_cast<unsigned>(subscription.Result()) << "\n";
        return 2;
    }

    ExampleSession session(db.Get(), records.Get(), item.Get(), *events.Get());
    const unsigned unexpected = session.Run();
    std::cout << "\n"
              << (unexpected == 0 ? "every outcome was the expected one" : "unexpected outcomes: ")
              << (unexpected == 0 ? "" : std::to_string(unexpected)) << "\n"
              << "the data is in C:\\ProgramData\\Ombrel\\API\\DataBase\\Demo.db under the runtime prefix\n";
    return unexpected == 0 ? 0 : 1;
}

const char* const kUsage =
    "Usage: obz-example [--help] [--version]\n"
    "Runs a store-and-query session against the registered OBZeveVevuVAD component\n"
    "and prints every call, the events it caused and its outcome.\n"
    "\n"
    "The session works on the database file Demo.db in the component's data folder,\n"
    "which it deletes and rebuilds first: earlier runs and sessions do not change\n"
    "its outcomes. The data folder is C:\\ProgramData\\Ombrel\\API\\DataBase\\ of the\n"
    "runtime prefix ($COMRT_PREFIX, else ~/.local/share/comrt), that is\n"
    "<prefix>/drive_c/ProgramData/Ombrel/API/DataBase/.\n"
    "\n"
    "Options:\n"
    "  --help     print this help and exit\n"
    "  --version  print the version and exit\n"
    "\n"
    "Exit status: 0 when every outcome was the expected one, 1 when any was not,\n"
    "2 when the session cannot run (a wrong option, or the component is not\n"
    "registered: comrt-regsvr OBZeveVevuVAD64.so).\n";

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view option = argv[i];
        if (option == "--help" || option == "-h") {
            std::cout << kUsage;
            return 0;
        }
        if (option == "--version") {
            std::cout << "obz-example (OBZeveVevuVAD) " << OBZ_VERSION_TEXT << "\n";
            return 0;
        }
        std::cerr << "obz-example: unrecognized argument '" << option << "'\n"
                  << "Try 'obz-example --help' for more information.\n";
        return 2;
    }
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {
        std::cerr << "cannot initialise COM\n";
        return 2;
    }
    const int status = RunClient();  // every object is released before CoUninitialize
    CoUninitialize();
    return status;
}
