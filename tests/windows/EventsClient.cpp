// A Windows client of the registered component: creates the facade by ProgID,
// subscribes its own sink to _IZeveVevuVADEvents through the connection
// point, and checks the OnWriteLog lines that Connect and a failing statement
// send. Prints one line per failed check and exits non-zero when any failed.
#include <OBZeveVevuVAD.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {
const std::wstring kPrefix = L"ZeveVevuVAD64--";
const std::wstring kVersionLine = kPrefix + L"ZeveVevuVAD Connected, Version = " + L"" OBZ_VERSION_TEXT;

int failures = 0;

void Check(bool ok, const char* what) {
    if (!ok) {
        ++failures;
        std::printf("FAILED: %s\n", what);
    }
}

std::string Narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) {
        if (c == L'\r') out += "\\r";
        else if (c == L'\n') out += "\\n";
        else out += (c < 0x80 ? static_cast<char>(c) : '?');
    }
    return out;
}

// The client's event sink: records every event it receives.
class LogSink : public IDispatch {
public:
    std::vector<std::wstring> lines;
    std::vector<std::wstring> commands;

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
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(InterlockedDecrement(&refs_)); }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (count != nullptr) *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        if (params == nullptr || (flags & DISPATCH_METHOD) == 0) return E_INVALIDARG;
        if (id == DISPID_EV_OnWriteLog && params->cArgs == 1 && params->rgvarg[0].vt == VT_BSTR) {
            lines.emplace_back(params->rgvarg[0].bstrVal ? params->rgvarg[0].bstrVal : L"");
            return S_OK;
        }
        if (id == DISPID_EV_OnCommandMsg && params->cArgs == 3) {
            commands.emplace_back(params->rgvarg[0].bstrVal ? params->rgvarg[0].bstrVal : L"");
            return S_OK;
        }
        return DISP_E_MEMBERNOTFOUND;
    }

private:
    LONG refs_ = 1;
};

// A facade created by ProgID with the sink subscribed; unsubscribes on exit.
struct Subscription {
    IZeveVevuVAD* facade = nullptr;
    IConnectionPoint* point = nullptr;
    DWORD cookie = 0;

    bool Open(LogSink& sink) {
        CLSID clsid{};
        HRESULT hr = CLSIDFromProgID(L"Ombrel.ZeveVevuVAD", &clsid);
        if (FAILED(hr)) return Report("CLSIDFromProgID", hr);
        if (!IsEqualCLSID(clsid, CLSID_ZeveVevuVAD)) return Report("CLSIDFromProgID gives another CLSID", E_FAIL);
        hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IZeveVevuVAD,
                              reinterpret_cast<void**>(&facade));
        if (FAILED(hr)) return Report("CoCreateInstance", hr);
        IConnectionPointContainer* container = nullptr;
        hr = facade->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&container));
        if (FAILED(hr)) return Report("QueryInterface(IConnectionPointContainer)", hr);
        hr = container->FindConnectionPoint(DIID__IZeveVevuVADEvents, &point);
        container->Release();
        if (FAILED(hr)) return Report("FindConnectionPoint", hr);
        hr = point->Advise(&sink, &cookie);
        if (FAILED(hr) || cookie == 0) return Report("Advise", hr);
        return true;
    }
    static bool Report(const char* what, HRESULT hr) {
        std::printf("  %s: 0x%08lX\n", what, static_cast<unsigned long>(hr));
        return false;
    }
    ~Subscription() {
        if (point != nullptr) {
            if (cookie != 0) point->Unadvise(cookie);
            point->Release();
        }
        if (facade != nullptr) facade->Release();
    }
};

LONG Call(HRESULT (STDMETHODCALLTYPE IZeveVevuVAD::*method)(BSTR, BSTR, LONG*), IZeveVevuVAD* facade,
          const wchar_t* a, const wchar_t* b) {
    BSTR first = SysAllocString(a);
    BSTR second = SysAllocString(b);
    LONG result = -1;
    if (FAILED((facade->*method)(first, second, &result))) result = -2;
    SysFreeString(first);
    SysFreeString(second);
    return result;
}

void ConnectSendsTheVersionLineOnEveryCall() {
    LogSink sink;
    Subscription sub;
    Check(sub.Open(sink), "create Ombrel.ZeveVevuVAD by ProgID and subscribe to its events");
    if (sub.facade == nullptr || sub.cookie == 0) return;

    // A short host address sends Connect to the registry, which names no
    // install folder here: only the version line is logged.
    Check(Call(&IZeveVevuVAD::Connect, sub.facade, L"", L"NoSuchSystem") == 1, "first Connect answers 1");
    Check(Call(&IZeveVevuVAD::Connect, sub.facade, L"", L"NoSuchSystem") == 2, "second Connect answers 2");
    Check(sink.lines.size() == 2, "two Connect calls log two lines");
    for (const std::wstring& line : sink.lines) {
        if (line != kVersionLine) std::printf("  got: %s\n", Narrow(line).c_str());
        Check(line == kVersionLine, "Connect logs the version line of the file's version resource");
    }
    Check(sink.commands.empty(), "no OnCommandMsg from automation methods");

    sub.facade->Disconnect();
    Check(Call(&IZeveVevuVAD::Connect, sub.facade, L"", L"NoSuchSystem") == 1, "Connect after Disconnect answers 1");

    // After Unadvise the sink hears nothing more.
    const size_t before = sink.lines.size();
    Check(SUCCEEDED(sub.point->Unadvise(sub.cookie)), "Unadvise succeeds");
    sub.cookie = 0;
    Call(&IZeveVevuVAD::Connect, sub.facade, L"", L"NoSuchSystem");
    Check(sink.lines.size() == before, "an unsubscribed sink receives no line");
}

void ConnectWithAnInstallFolderLogsTheDataFolder() {
    LogSink sink;
    Subscription sub;
    Check(sub.Open(sink), "second facade subscribes");
    if (sub.cookie == 0) return;
    Check(Call(&IZeveVevuVAD::Connect, sub.facade, L"D:\\App\\", L"") == 1, "Connect with a host address answers 1");
    Check(sink.lines.size() == 2, "Connect with an install folder logs two lines");
    if (sink.lines.size() == 2) {
        Check(sink.lines[0] == kVersionLine, "the version line comes first");
        Check(sink.lines[1] == kPrefix + L"D:\\App\\Data\\API\\", "then the data folder, bare");
    }
}

void AFailingStatementLogsTheErrorAndTheSql() {
    LogSink sink;
    Subscription sub;
    Check(sub.Open(sink), "third facade subscribes");
    if (sub.cookie == 0) return;
    BSTR file = SysAllocString(L"EventsClient");
    BSTR table = SysAllocString(L"Known");
    BSTR columns = SysAllocString(L"a,b");
    LONG created = -1;
    sub.facade->CreateDbFile(file, table, columns, &created);
    Check(created == 1, "CreateDbFile creates the events database");
    SysFreeString(file);
    SysFreeString(table);
    SysFreeString(columns);

    const size_t before = sink.lines.size();
    BSTR missing = SysAllocString(L"NoSuchTable");
    BSTR column = SysAllocString(L"a");
    BSTR value = SysAllocString(L"x");
    LONG inserted = -1;
    sub.facade->InsertDBRecord(missing, column, value, &inserted);
    SysFreeString(missing);
    SysFreeString(column);
    SysFreeString(value);
    Check(inserted == 0, "an insert into a missing table answers 0");
    Check(sink.lines.size() == before + 1, "the failure logs one line");
    if (sink.lines.size() == before + 1) {
        const std::wstring& line = sink.lines.back();
        const std::wstring sql = L"\r\nREPLACE INTO NoSuchTable (a) VALUES ('x');";
        if (line.find(L"no such table: NoSuchTable") == std::wstring::npos || line.size() < sql.size() ||
            line.compare(line.size() - sql.size(), sql.size(), sql) != 0 || line.rfind(kPrefix, 0) != 0)
            std::printf("  got: %s\n", Narrow(line).c_str());
        Check(line.rfind(kPrefix, 0) == 0, "the line carries the log prefix");
        Check(line.find(L"no such table: NoSuchTable") != std::wstring::npos, "the line holds SQLite's message");
        Check(line.size() >= sql.size() && line.compare(line.size() - sql.size(), sql.size(), sql) == 0,
              "the line ends with CR LF and the SQL text");
    }
}
}  // namespace

int main() {
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {
        std::printf("FAILED: CoInitializeEx\n");
        return 2;
    }
    ConnectSendsTheVersionLineOnEveryCall();
    ConnectWithAnInstallFolderLogsTheDataFolder();
    AFailingStatementLogsTheErrorAndTheSql();
    CoUninitialize();
    std::printf("%s: %d failed check(s)\n", failures == 0 ? "PASS" : "FAIL", failures);
    return failures == 0 ? 0 : 1;
}
