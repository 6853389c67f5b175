// A client in a single-threaded apartment, as script hosts, VBA, VB6 and
// WinForms programs are. The component's classes are free-threaded, so COM
// creates them in the process's multithreaded apartment and this thread holds
// proxies: every call, every object passed as an argument, every BSTR handed
// back and every event crosses apartments through the marshalers (the
// type-library marshaler for the dual interfaces, the standard one for the
// connection point and the sink).
//
// An event reaches the sink on this thread only while this thread pumps
// messages: during its own outgoing calls COM pumps for it; while it waits for
// another thread it runs a message loop itself, as an apartment thread must.
// Prints one line per failed check and exits non-zero when any failed.
#include <OBZeveVevuVAD.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {
const std::wstring kPrefix = L"ZeveVevuVAD64--";
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

std::string Printable(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) {
        if (c == L'\r') out += "\\r";
        else if (c == L'\n') out += "\\n";
        else out += (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '?';
    }
    return out;
}

// A BSTR argument, freed at the end of the call's full expression.
class Text {
public:
    explicit Text(const wchar_t* text) : s_(SysAllocString(text)) {}
    ~Text() { SysFreeString(s_); }
    Text(const Text&) = delete;
    Text& operator=(const Text&) = delete;
    operator BSTR() const { return s_; }

private:
    BSTR s_;
};

// Owns one interface reference.
template <class T>
class Ref {
public:
    Ref() = default;
    ~Ref() { Reset(); }
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    T* operator->() const { return p_; }
    T* Get() const { return p_; }
    void** Out() {
        Reset();
        return reinterpret_cast<void**>(&p_);
    }
    void Reset() {
        if (p_ != nullptr) p_->Release();
        p_ = nullptr;
    }

private:
    T* p_ = nullptr;
};

// The event sink. Records each OnWriteLog line with the thread it arrived
// on. Reference counted: the stub that COM keeps for it while subscribed
// holds references of its own.
class LogSink final : public IDispatch {
public:
    struct Line {
        std::wstring text;
        DWORD thread;
    };
    std::vector<Line> lines;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
            IsEqualIID(riid, DIID__IZeveVevuVADEvents)) {
            *ppv = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = InterlockedDecrement(&refs_);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (count != nullptr) *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        if (id == DISPID_EV_OnWriteLog && params != nullptr && params->cArgs == 1 && params->rgvarg[0].vt == VT_BSTR)
            lines.push_back({params->rgvarg[0].bstrVal ? params->rgvarg[0].bstrVal : L"", GetCurrentThreadId()});
        return S_OK;
    }

private:
    ~LogSink() = default;
    LONG refs_ = 1;
};

// The database object with the sink subscribed through its connection point.
struct Session {
    Ref<IZeveVevuVAD> db;
    Ref<IConnectionPoint> point;
    LogSink* sink = new LogSink;
    DWORD cookie = 0;

    ~Session() {
        if (cookie != 0) point->Unadvise(cookie);
        sink->Release();
    }
    bool Open() {
        CLSID clsid{};
        Ref<IConnectionPointContainer> container;
        return Step("CLSIDFromProgID", CLSIDFromProgID(L"Ombrel.ZeveVevuVAD.1", &clsid)) &&
               Step("CoCreateInstance",
                    CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IZeveVevuVAD, db.Out())) &&
               Step("QueryInterface(IConnectionPointContainer)",
                    db->QueryInterface(IID_IConnectionPointContainer, container.Out())) &&
               Step("FindConnectionPoint",
                    container->FindConnectionPoint(DIID__IZeveVevuVADEvents,
                                                   reinterpret_cast<IConnectionPoint**>(point.Out()))) &&
               Step("Advise", point->Advise(sink, &cookie)) && cookie != 0;
    }
    static bool Step(const char* what, HRESULT hr) {
        if (FAILED(hr)) std::printf("  %s: 0x%08lX\n", what, static_cast<unsigned long>(hr));
        return SUCCEEDED(hr);
    }
    // The lines received since `from`, all of which must have arrived on
    // this thread.
    std::vector<std::wstring> LinesSince(size_t from, const std::string& what) const {
        std::vector<std::wstring> texts;
        for (size_t i = from; i < sink->lines.size(); ++i) {
            Check(sink->lines[i].thread == GetCurrentThreadId(), what + ": the event arrives on the sink's thread");
            texts.push_back(sink->lines[i].text);
        }
        return texts;
    }
};

template <class T>
bool Create(const wchar_t* progId, REFIID iid, Ref<T>& out) {
    CLSID clsid{};
    return SUCCEEDED(CLSIDFromProgID(progId, &clsid)) &&
           SUCCEEDED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, out.Out()));
}

// Calls, arguments and results across the apartments: objects created here
// are proxies, the RecordSet and RecordItem travel as arguments to the
// objects' own apartment, texts with characters outside ASCII come back
// whole, and the events of each call arrive here during the call.
void CallsAndEventsCrossTheApartment(Session& s) {
    Ref<IClientSecurity> proxy;
    Check(SUCCEEDED(s.db->QueryInterface(IID_IClientSecurity, proxy.Out())),
          "the free-threaded object is reached through a proxy from this apartment");

    LONG ret = -1;
    size_t mark = s.sink->lines.size();
    Check(SUCCEEDED(s.db->Connect(Text(L""), Text(L"NoSuchSystem"), &ret)) && ret == 1, "Connect answers 1");
    std::vector<std::wstring> got = s.LinesSince(mark, "Connect");
    Check(got.size() == 1 && got[0].rfind(kPrefix + L"ZeveVevuVAD Connected, Version = ", 0) == 0,
          "Connect's version line reaches the sink during the call");

    s.db->DropTable(Text(L"StaClient"), Text(L""), &ret);
    ret = -1;
    Check(SUCCEEDED(s.db->CreateDbFile(Text(L"StaClient"), Text(L"Notes"), Text(L"id,body"), &ret)) && ret == 1,
          "CreateDbFile answers 1");
    const wchar_t* body = L"it's Zo\u00EB's \u4E2D\u6587 note";
    ret = -1;
    Check(SUCCEEDED(s.db->InsertDBRecord(Text(L"Notes"), Text(L"id,body"),
                                         Text((std::wstring(L"1,") + body).c_str()), &ret)) && ret == 1,
          "InsertDBRecord answers 1");

    Ref<IRecordSet> rs;
    Ref<IRecordItem> item;
    Check(Create(L"Ombrel.RecordSet.1", IID_IRecordSet, rs) && Create(L"Ombrel.RecordItem.1", IID_IRecordItem, item),
          "create a RecordSet and a RecordItem");
    if (rs.Get() == nullptr || item.Get() == nullptr) return;
    VARIANT_BOOL ok = VARIANT_FALSE;
    Check(SUCCEEDED(s.db->GetDBRecordSet(Text(L"Notes"), Text(L"id"), Text(L"1"), rs.Get(), &ok)) && ok == VARIANT_TRUE,
          "GetDBRecordSet fills the RecordSet passed from this apartment");
    LONG count = -1;
    Check(SUCCEEDED(rs->GetRecordCount(&count)) && count == 1, "the RecordSet holds one row");
    ok = VARIANT_FALSE;
    Check(SUCCEEDED(rs->GetRecordItem(0, item.Get(), &ok)) && ok == VARIANT_TRUE,
          "GetRecordItem fills the RecordItem passed from this apartment");
    BSTR value = nullptr;
    Check(SUCCEEDED(item->GetDataValue(Text(L"body"), &value)) && value != nullptr && std::wstring(value) == body,
          "GetDataValue hands back the stored text whole");
    if (value != nullptr && std::wstring(value) != body) std::printf("  got: %s\n", Printable(value).c_str());
    SysFreeString(value);

    mark = s.sink->lines.size();
    ret = -1;
    Check(SUCCEEDED(s.db->InsertDBRecord(Text(L"Nowhere"), Text(L"id"), Text(L"1"), &ret)) && ret == 0,
          "an insert into a missing table answers 0");
    got = s.LinesSince(mark, "failed insert");
    const std::wstring sql = L"\r\nREPLACE INTO Nowhere (id) VALUES ('1');";
    Check(got.size() == 1 && got[0].rfind(kPrefix, 0) == 0 && got[0].size() > sql.size() &&
              got[0].compare(got[0].size() - sql.size(), sql.size(), sql) == 0,
          "the failure's log line, with the statement, reaches the sink during the call");
}

// What the worker thread does: it takes the database object from the Global
// Interface Table into its own (multithreaded) apartment and runs a failing
// insert, whose log line the object fires on the worker thread.
struct WorkerJob {
    DWORD tableCookie;
    LONG result = -1;
    HRESULT hr = E_FAIL;
};

DWORD WINAPI Worker(void* param) {
    WorkerJob& job = *static_cast<WorkerJob*>(param);
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return 1;
    {
        Ref<IGlobalInterfaceTable> table;
        Ref<IZeveVevuVAD> db;
        job.hr = CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IGlobalInterfaceTable, table.Out());
        if (SUCCEEDED(job.hr)) job.hr = table->GetInterfaceFromGlobal(job.tableCookie, IID_IZeveVevuVAD, db.Out());
        if (SUCCEEDED(job.hr))
            job.hr = db->InsertDBRecord(Text(L"FromWorker"), Text(L"id"), Text(L"1"), &job.result);
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

// An event fired on another thread reaches the sink on this thread while this
// thread pumps messages.
void AnEventFromAnotherThreadArrivesWhileThisThreadPumps(Session& s) {
    Ref<IGlobalInterfaceTable> table;
    WorkerJob job{};
    if (FAILED(CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IGlobalInterfaceTable, table.Out())) ||
        FAILED(table->RegisterInterfaceInGlobal(s.db.Get(), IID_IZeveVevuVAD, &job.tableCookie))) {
        Check(false, "register the database object in the Global Interface Table");
        return;
    }
    const size_t mark = s.sink->lines.size();
    HANDLE thread = CreateThread(nullptr, 0, Worker, &job, 0, nullptr);
    Check(thread != nullptr, "start the worker thread");
    if (thread == nullptr) return;
    if (!PumpUntilSignalled(thread)) {
        // The worker is stuck in a call that waits for this thread: nothing
        // can end it, so the run ends here.
        std::printf("FAILED: the worker's call did not return within %lu ms\n", kHangLimitMs);
        std::fflush(stdout);
        ExitProcess(3);
    }
    CloseHandle(thread);
    table->RevokeInterfaceFromGlobal(job.tableCookie);
    Check(SUCCEEDED(job.hr) && job.result == 0, "the worker's insert into a missing table answers 0");
    const std::vector<std::wstring> got = s.LinesSince(mark, "worker's insert");
    Check(got.size() == 1 && got[0].find(L"REPLACE INTO FromWorker (id) VALUES ('1');") != std::wstring::npos,
          "the worker's log line reaches the sink");
}

void AnUnsubscribedSinkHearsNothing(Session& s) {
    Check(SUCCEEDED(s.point->Unadvise(s.cookie)), "Unadvise succeeds");
    s.cookie = 0;
    const size_t mark = s.sink->lines.size();
    LONG ret = -1;
    s.db->Connect(Text(L""), Text(L"NoSuchSystem"), &ret);
    Check(s.sink->lines.size() == mark, "an unsubscribed sink receives no line");
    s.db->DropTable(Text(L"StaClient"), Text(L""), &ret);
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
            CallsAndEventsCrossTheApartment(s);
            AnEventFromAnotherThreadArrivesWhileThisThreadPumps(s);
            AnUnsubscribedSinkHearsNothing(s);
        }
    }
    CoUninitialize();
    std::printf(failures == 0 ? "STA client: all checks passed\n" : "STA client: %d failure(s)\n", failures);
    return failures == 0 ? 0 : 1;
}
