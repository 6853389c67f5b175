// A client in a single-threaded apartment, as script hosts, VBA, VB6 and
// WinForms programs are, written with the client kit. The component's classes
// live in the apartment that creates them ("Both"), so this thread holds the
// objects themselves: calls and events run on this thread without a
// marshaler. A thread of another apartment that is handed the object holds a
// proxy, and its calls run here while this thread pumps messages, as an
// apartment thread must while it waits for another thread.
// Prints one line per failed check and exits non-zero when any failed.
#include <OBZeveVevuVAD.h>
#include <obzkit/Bstr.h>
#include <obzkit/Create.h>
#include <obzkit/EventSink.h>
#include <obzkit/EventSubscription.h>
#include <obzkit/Ref.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {
using obzkit::Bstr;
using obzkit::Ref;

const std::string kPrefix = "ZeveVevuVAD64--";
const std::string kVersionLine = kPrefix + "ZeveVevuVAD Connected, Version = " OBZ_VERSION_TEXT;
// The longest a wait for another thread may last before the run counts as
// hung; the work it waits for takes milliseconds.
constexpr DWORD kHangLimitMs = 60000;

int failures = 0;

void Check(bool ok, const std::string& what) {
    if (!ok) {
        ++failures;
        std::printf("FAILED: %s\n", what.c_str());
    }
}

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// The event sink: records each OnWriteLog line with the thread it arrived on,
// then hands it to onLine when set, and counts host notices (no automation
// method sends one).
class LogSink final : public obzkit::EventSink {
public:
    struct Line {
        std::string text;
        DWORD thread;
    };
    std::vector<Line> lines;
    int notices = 0;
    std::function<void(const std::string&)> onLine;

private:
    void OnWriteLog(const std::string& text) override {
        lines.push_back({text, GetCurrentThreadId()});
        if (onLine) onLine(text);
    }
    void OnCommandMsg(LONG, LONG, const std::string&) override { ++notices; }
};

// The database object with the sink subscribed through its connection point.
struct Session {
    Ref<IZeveVevuVAD> db;
    Ref<IConnectionPoint> point;
    Ref<LogSink> sink{new LogSink};
    DWORD cookie = 0;

    ~Session() {
        if (cookie != 0) point->Unadvise(cookie);
    }
    bool Open() {
        Ref<IConnectionPointContainer> container;
        return Step("create", obzkit::CreateObject(L"Ombrel.ZeveVevuVAD.1", IID_IZeveVevuVAD, db.PutVoid())) &&
               Step("QueryInterface(IConnectionPointContainer)",
                    db->QueryInterface(IID_IConnectionPointContainer, container.PutVoid())) &&
               Step("FindConnectionPoint", container->FindConnectionPoint(DIID__IZeveVevuVADEvents, point.Put())) &&
               Step("Advise", point->Advise(sink.Get(), &cookie)) && cookie != 0;
    }
    static bool Step(const char* what, HRESULT hr) {
        if (FAILED(hr)) std::printf("  %s: 0x%08lX\n", what, static_cast<unsigned long>(hr));
        return SUCCEEDED(hr);
    }
    // The lines received since `from`, all of which must have arrived on
    // this thread.
    std::vector<std::string> LinesSince(size_t from, const std::string& what) const {
        std::vector<std::string> texts;
        for (size_t i = from; i < sink->lines.size(); ++i) {
            Check(sink->lines[i].thread == GetCurrentThreadId(), what + ": the event arrives on the sink's thread");
            texts.push_back(sink->lines[i].text);
        }
        return texts;
    }
};

// Connect's outcomes and lines: the version line of the DLL's own version
// resource on every call; on another object, the data folder once found.
void ConnectAnswersAndLogsTheVersion(Session& s) {
    // A proxy answers both; the object itself answers neither.
    Ref<IClientSecurity> security;
    Ref<IMarshal> marshal;
    Check(s.db->QueryInterface(IID_IClientSecurity, security.PutVoid()) == E_NOINTERFACE &&
              s.db->QueryInterface(IID_IMarshal, marshal.PutVoid()) == E_NOINTERFACE,
          "this apartment holds the object itself, not a proxy");
    LONG first = -1, second = -1, again = -1;
    const size_t mark = s.sink->lines.size();
    s.db->Connect(Bstr(""), Bstr("NoSuchSystem"), &first);
    s.db->Connect(Bstr(""), Bstr("NoSuchSystem"), &second);
    s.db->Disconnect();
    s.db->Connect(Bstr(""), Bstr("NoSuchSystem"), &again);
    Check(first == 1 && second == 2 && again == 1, "Connect answers 1, 2, and 1 after Disconnect");
    Check(s.LinesSince(mark, "Connect") == std::vector<std::string>(3, kVersionLine),
          "each Connect's version line reaches the sink during the call");
    Check(s.sink->notices == 0, "no OnCommandMsg from automation methods");

    Session other;
    LONG ret = -1;
    Check(other.Open() && SUCCEEDED(other.db->Connect(Bstr("D:\\App\\"), Bstr(""), &ret)) && ret == 1 &&
              other.LinesSince(0, "Connect with a host address") ==
                  std::vector<std::string>{kVersionLine, kPrefix + "D:\\App\\Data\\API\\"},
          "Connect with an install folder logs the version line, then the data folder bare");
}

// Calls, arguments and results in the apartment: the RecordSet and
// RecordItem travel as arguments, texts with characters outside ASCII come
// back whole, and a failure's line arrives on this thread during the call.
void CallsAndEventsInTheApartment(Session& s) {
    LONG ret = -1;
    s.db->DropTable(Bstr("StaClient"), Bstr(""), &ret);
    ret = -1;
    Check(SUCCEEDED(s.db->CreateDbFile(Bstr("StaClient"), Bstr("Notes"), Bstr("id,body"), &ret)) && ret == 1,
          "CreateDbFile answers 1");
    const std::wstring body = L"it's Zo\u00EB's \u4E2D\u6587 note";
    ret = -1;
    Check(SUCCEEDED(s.db->InsertDBRecord(Bstr("Notes"), Bstr("id,body"), Bstr((L"1," + body).c_str()), &ret)) &&
              ret == 1,
          "InsertDBRecord answers 1");

    Ref<IRecordSet> rs;
    Ref<IRecordItem> item;
    Check(SUCCEEDED(obzkit::CreateObject(L"Ombrel.RecordSet.1", IID_IRecordSet, rs.PutVoid())) &&
              SUCCEEDED(obzkit::CreateObject(L"Ombrel.RecordItem.1", IID_IRecordItem, item.PutVoid())),
          "create a RecordSet and a RecordItem");
    if (!rs || !item) return;
    VARIANT_BOOL ok = VARIANT_FALSE;
    Check(SUCCEEDED(s.db->GetDBRecordSet(Bstr("Notes"), Bstr("id"), Bstr("1"), rs.Get(), &ok)) && ok == VARIANT_TRUE,
          "GetDBRecordSet fills the RecordSet passed from this apartment");
    LONG count = -1;
    Check(SUCCEEDED(rs->GetRecordCount(&count)) && count == 1, "the RecordSet holds one row");
    ok = VARIANT_FALSE;
    Check(SUCCEEDED(rs->GetRecordItem(0, item.Get(), &ok)) && ok == VARIANT_TRUE,
          "GetRecordItem fills the RecordItem passed from this apartment");
    Bstr value;
    Check(SUCCEEDED(item->GetDataValue(Bstr("body"), value.Put())) && value.Get() != nullptr &&
              std::wstring(value.Get()) == body,
          "GetDataValue hands back the stored text whole");

    const size_t mark = s.sink->lines.size();
    ret = -1;
    Check(SUCCEEDED(s.db->InsertDBRecord(Bstr("Nowhere"), Bstr("id"), Bstr("1"), &ret)) && ret == 0,
          "an insert into a missing table answers 0");
    const std::vector<std::string> got = s.LinesSince(mark, "failed insert");
    Check(got.size() == 1 && got[0].rfind(kPrefix + "SQLITE_ERROR[1]: no such table: Nowhere", 0) == 0 &&
              EndsWith(got[0], "\r\nREPLACE INTO Nowhere (id) VALUES ('1');"),
          "the failure's log line, with the statement, reaches the sink during the call");
}

// Ends the run when a call this thread makes has not returned within the
// limit: such a call cannot be interrupted, and CI must not hang on it.
class Watchdog {
public:
    explicit Watchdog(const char* what) : what_(what), done_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
        thread_ = CreateThread(nullptr, 0, Watch, this, 0, nullptr);
    }
    ~Watchdog() {
        SetEvent(done_);
        if (thread_ != nullptr) {
            WaitForSingleObject(thread_, INFINITE);
            CloseHandle(thread_);
        }
        CloseHandle(done_);
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

private:
    static DWORD WINAPI Watch(void* param) {
        Watchdog& self = *static_cast<Watchdog*>(param);
        if (WaitForSingleObject(self.done_, kHangLimitMs) == WAIT_OBJECT_0) return 0;
        std::printf("FAILED: %s did not return within %lu ms\n", self.what_, kHangLimitMs);
        std::fflush(stdout);
        ExitProcess(3);
        return 3;
    }
    const char* what_;
    HANDLE done_;
    HANDLE thread_ = nullptr;
};

// A sink may call the object from inside an event: the callback runs inside
// the call that fired the event, on this thread.
void ASinkCallsBackFromInsideAnEvent(Session& s) {
    LONG inner = -1;
    HRESULT innerHr = E_FAIL;
    s.sink->onLine = [&](const std::string& text) {
        if (text.find("no such table: Elsewhere") == std::string::npos) return;
        innerHr = s.db->InsertDBRecord(Bstr("Notes"), Bstr("id,body"), Bstr("2,from the sink"), &inner);
    };
    LONG ret = -1;
    HRESULT hr = E_FAIL;
    {
        const Watchdog watchdog("the call whose sink calls back into the object");
        hr = s.db->InsertDBRecord(Bstr("Elsewhere"), Bstr("id"), Bstr("1"), &ret);
    }
    s.sink->onLine = nullptr;
    Check(SUCCEEDED(hr) && ret == 0, "the insert whose failure the sink answers answers 0");
    Check(SUCCEEDED(innerHr) && inner == 1, "the sink's callback from inside the event answers 1");

    Ref<IRecordSet> rs;
    VARIANT_BOOL ok = VARIANT_FALSE;
    LONG count = -1;
    Check(SUCCEEDED(obzkit::CreateObject(L"Ombrel.RecordSet.1", IID_IRecordSet, rs.PutVoid())) &&
              SUCCEEDED(s.db->GetDBRecordSet(Bstr("Notes"), Bstr("id"), Bstr("2"), rs.Get(), &ok)) &&
              ok == VARIANT_TRUE && SUCCEEDED(rs->GetRecordCount(&count)) && count == 1,
          "the row the sink stored is in the table");
}

// What a worker thread does: it takes the database object into its own
// apartment, handed over through the Global Interface Table (a worker in
// the multithreaded apartment) or a marshaled stream (a worker in a
// single-threaded apartment of its own), subscribes a sink of its own
// through the proxy it holds, and runs a failing insert. The call runs in
// the object's apartment, this thread; the log line reaches each sink in
// that sink's own apartment.
struct WorkerJob {
    bool singleThreaded = false;
    DWORD tableCookie = 0;
    IStream* stream = nullptr;  // consumed by the worker
    LONG result = -1;
    HRESULT hr = E_FAIL;
    std::vector<LogSink::Line> lines;  // what the worker's sink received
    bool linesInItsApartment = false;
};

DWORD WINAPI Worker(void* param) {
    WorkerJob& job = *static_cast<WorkerJob*>(param);
    if (FAILED(CoInitializeEx(nullptr, job.singleThreaded ? COINIT_APARTMENTTHREADED : COINIT_MULTITHREADED))) {
        return 1;
    }
    {
        Ref<IZeveVevuVAD> db;
        if (job.stream != nullptr) {
            job.hr = CoGetInterfaceAndReleaseStream(job.stream, IID_IZeveVevuVAD, db.PutVoid());
            job.stream = nullptr;
        } else {
            Ref<IGlobalInterfaceTable> table;
            job.hr = CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IGlobalInterfaceTable, table.PutVoid());
            if (SUCCEEDED(job.hr)) {
                job.hr = table->GetInterfaceFromGlobal(job.tableCookie, IID_IZeveVevuVAD, db.PutVoid());
            }
        }
        Ref<LogSink> sink{new LogSink};
        bool inApartment = true;
        const DWORD self = GetCurrentThreadId();
        sink->onLine = [&](const std::string&) {
            APTTYPE type{};
            APTTYPEQUALIFIER qualifier{};
            const bool ok = SUCCEEDED(CoGetApartmentType(&type, &qualifier));
            // A single-threaded sink hears on its own thread; a multithreaded
            // one on any thread of the multithreaded apartment.
            inApartment = inApartment && ok &&
                          (job.singleThreaded ? GetCurrentThreadId() == self : type == APTTYPE_MTA);
        };
        if (SUCCEEDED(job.hr)) {
            const obzkit::EventSubscription subscription(db.Get(), sink.Get());
            job.hr = subscription.Result();
            if (SUCCEEDED(job.hr)) {
                job.hr = db->InsertDBRecord(Bstr("FromWorker"), Bstr("id"), Bstr("1"), &job.result);
            }
        }
        job.lines = sink->lines;
        job.linesInItsApartment = inApartment;
    }
    CoUninitialize();
    return 0;
}

// Waits for a thread while dispatching this apartment's messages, as every
// single-threaded apartment must: calls from other apartments into objects
// of this one (here: the sink) arrive as messages. False when the limit ran
// out.
bool PumpUntilSignalled(HANDLE handle) {
    const ULONGLONG deadline = GetTickCount64() + kHangLimitMs;
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) return false;
        const DWORD wait = MsgWaitForMultipleObjects(1, &handle, FALSE, static_cast<DWORD>(deadline - now), QS_ALLINPUT);
        if (wait == WAIT_OBJECT_0) return true;
        if (wait != WAIT_OBJECT_0 + 1) return false;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
}

// The object handed to another apartment works there, events included: the
// worker's call runs here while this thread pumps messages, and the log line
// reaches this thread's sink here and the worker's sink in the worker's
// apartment.
void TheObjectWorksInAnotherApartment(Session& s, bool singleThreaded) {
    const std::string what = singleThreaded ? "a single-threaded worker (marshaled stream)"
                                            : "a multithreaded worker (Global Interface Table)";
    Ref<IGlobalInterfaceTable> table;
    WorkerJob job{};
    job.singleThreaded = singleThreaded;
    const HRESULT handed =
        singleThreaded
            ? CoMarshalInterThreadInterfaceInStream(IID_IZeveVevuVAD, s.db.Get(), &job.stream)
            : CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER,
                               IID_IGlobalInterfaceTable, table.PutVoid());
    if (FAILED(handed) ||
        (table && FAILED(table->RegisterInterfaceInGlobal(s.db.Get(), IID_IZeveVevuVAD, &job.tableCookie)))) {
        Check(false, what + ": hand the database object over");
        return;
    }
    const size_t mark = s.sink->lines.size();
    HANDLE thread = CreateThread(nullptr, 0, Worker, &job, 0, nullptr);
    Check(thread != nullptr, what + ": start the thread");
    if (thread == nullptr) return;
    if (!PumpUntilSignalled(thread)) {
        // The worker is stuck in a call that waits for this thread: nothing
        // can end it, so the run ends here.
        std::printf("FAILED: %s: the call did not return within %lu ms\n", what.c_str(), kHangLimitMs);
        std::fflush(stdout);
        ExitProcess(3);
    }
    CloseHandle(thread);
    if (table) table->RevokeInterfaceFromGlobal(job.tableCookie);
    Check(SUCCEEDED(job.hr) && job.result == 0, what + ": the insert into a missing table answers 0");
    const std::vector<std::string> got = s.LinesSince(mark, what);
    Check(got.size() == 1 && EndsWith(got[0], "REPLACE INTO FromWorker (id) VALUES ('1');"),
          what + ": the log line reaches this thread's sink");
    Check(job.lines.size() == 1 && EndsWith(job.lines[0].text, "REPLACE INTO FromWorker (id) VALUES ('1');") &&
              job.linesInItsApartment,
          what + ": the log line reaches the worker's own sink in the worker's apartment");
}

void AnUnsubscribedSinkHearsNothing(Session& s) {
    Check(SUCCEEDED(s.point->Unadvise(s.cookie)), "Unadvise succeeds");
    s.cookie = 0;
    const size_t mark = s.sink->lines.size();
    LONG ret = -1;
    s.db->Connect(Bstr(""), Bstr("NoSuchSystem"), &ret);
    Check(s.sink->lines.size() == mark, "an unsubscribed sink receives no line");
    s.db->DropTable(Bstr("StaClient"), Bstr(""), &ret);
}
}  // namespace

int main() {
    if (CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED) != S_OK) {
        std::printf("FAILED: CoInitializeEx(COINIT_APARTMENTTHREADED)\n");
        return 2;
    }
    {
        Session s;
        Check(s.Open(), "create Ombrel.ZeveVevuVAD.1 and subscribe the sink from a single-threaded apartment");
        if (s.cookie != 0) {
            ConnectAnswersAndLogsTheVersion(s);
            CallsAndEventsInTheApartment(s);
            ASinkCallsBackFromInsideAnEvent(s);
            TheObjectWorksInAnotherApartment(s, false);
            TheObjectWorksInAnotherApartment(s, true);
            AnUnsubscribedSinkHearsNothing(s);
        }
    }
    CoUninitialize();
    std::printf(failures == 0 ? "STA client: all checks passed\n" : "STA client: %d failure(s)\n", failures);
    return failures == 0 ? 0 : 1;
}
