#include "ObzShellSession.h"

#include <algorithm>
#include <vector>

#include "ObzShellArguments.h"
#include "ObzShellItemTap.h"
#include "ShellCompletion.h"
#include "ShellHelp.h"
#include "ShellMethodGuide.h"
#include "ShellTable.h"
#include "obzkit/Bstr.h"
#include "obzkit/Create.h"
#include "obzkit/HresultText.h"
#include "obzkit/Utf8.h"

namespace {

const char* const kDatabaseVariable = "db";
const char* const kDatabaseProgId = "Ombrel.ZeveVevuVAD";

// The symbolic name of the HRESULTs a shell user is likely to meet.
const char* HresultName(HRESULT hr) {
    switch (hr) {
        case E_NOTIMPL:
            return "E_NOTIMPL";
        case E_NOINTERFACE:
            return "E_NOINTERFACE";
        case E_POINTER:
            return "E_POINTER";
        case E_FAIL:
            return "E_FAIL";
        case E_OUTOFMEMORY:
            return "E_OUTOFMEMORY";
        case E_INVALIDARG:
            return "E_INVALIDARG";
        case REGDB_E_CLASSNOTREG:
            return "REGDB_E_CLASSNOTREG (class not registered)";
        case CO_E_CLASSSTRING:
            return "CO_E_CLASSSTRING (unknown ProgID)";
        case CO_E_DLLNOTFOUND:
            return "CO_E_DLLNOTFOUND";
        case CO_E_ERRORINDLL:
            return "CO_E_ERRORINDLL";
        case CO_E_NOTINITIALIZED:
            return "CO_E_NOTINITIALIZED";
        case CLASS_E_CLASSNOTAVAILABLE:
            return "CLASS_E_CLASSNOTAVAILABLE";
        case DISP_E_UNKNOWNNAME:
            return "DISP_E_UNKNOWNNAME (no such method)";
        case DISP_E_MEMBERNOTFOUND:
            return "DISP_E_MEMBERNOTFOUND";
        case DISP_E_BADPARAMCOUNT:
            return "DISP_E_BADPARAMCOUNT (wrong number of arguments)";
        case DISP_E_TYPEMISMATCH:
            return "DISP_E_TYPEMISMATCH";
        case DISP_E_OVERFLOW:
            return "DISP_E_OVERFLOW";
        case DISP_E_NONAMEDARGS:
            return "DISP_E_NONAMEDARGS";
        case DISP_E_EXCEPTION:
            return "DISP_E_EXCEPTION";
        case CONNECT_E_CANNOTCONNECT:
            return "CONNECT_E_CANNOTCONNECT";
        case CONNECT_E_NOCONNECTION:
            return "CONNECT_E_NOCONNECTION";
        default:
            return "";
    }
}

}  // namespace

ObzShellSession::~ObzShellSession() {
    if (events_ && cookie_ != 0) events_->Unadvise(cookie_);
}

bool ObzShellSession::Start() {
    if (!Create(kDatabaseVariable, kDatabaseProgId)) {
        err_ << "   (is the component registered? comrt-regsvr OBZeveVevuVAD64.so)" << std::endl;
        return false;
    }
    obzkit::Ref<IConnectionPointContainer> container;
    HRESULT hr = objects_[kDatabaseVariable]->QueryInterface(IID_IConnectionPointContainer, container.PutVoid());
    if (SUCCEEDED(hr)) hr = container->FindConnectionPoint(DIID__IZeveVevuVADEvents, events_.Put());
    if (FAILED(hr)) return Failed(hr, "cannot find the event connection point");
    obzkit::Ref<ObzShellSink> sink(new ObzShellSink(out_));
    hr = events_->Advise(sink.Get(), &cookie_);
    if (FAILED(hr)) return Failed(hr, "cannot subscribe to the events");
    return true;
}

bool ObzShellSession::Run(const ShellCommand& command) {
    // Only the next command line can expect a failure answer.
    if (command.GetKind() != ShellCommand::Kind::Nothing) pending_.clear();
    switch (command.GetKind()) {
        case ShellCommand::Kind::Nothing:
            return true;
        case ShellCommand::Kind::Invalid:
            return Fail(command.Error());
        case ShellCommand::Kind::New:
            if (command.Target() == kDatabaseVariable) return Fail("db is the database object; pick another name");
            return Create(command.Target(), command.Name());
        case ShellCommand::Kind::Print:
            out_ << command.Name() << std::endl;
            return true;
        case ShellCommand::Kind::Expect:
            return Expect(command.Name());
        case ShellCommand::Kind::Quit:
            quit_ = true;
            return true;
        case ShellCommand::Kind::Help:
            return Help(command.Name());
        case ShellCommand::Kind::Call:
            return Call(command);
        case ShellCommand::Kind::Select: {
            const std::vector<ShellLine::Word>& words = command.Arguments();
            const auto word = [&](size_t i) { return i < words.size() ? words[i].text : std::string(); };
            const std::string columns = word(1);
            return Query(columns.empty() || columns == "*" ? word(0) : word(0) + "#*#" + columns, word(2), word(3),
                         "row");
        }
        case ShellCommand::Kind::Tables:
            // The schema table, and the columns of each table from SQLite's
            // table_info, in one query of the current file.
            return Query("sqlite_master AS m#*#m.name AS \"table\", (SELECT group_concat(name, ',') FROM "
                         "pragma_table_info(m.name)) AS columns",
                         "m.type = 'table' AND m.name NOT LIKE 'sqlite\\_%' ESCAPE '\\' ORDER BY m.name", "", "table");
    }
    return Fail("unknown command");
}

bool ObzShellSession::Create(const std::string& variable, const std::string& progId) {
    const obzkit::OleString name = obzkit::ToOle(progId);
    CLSID clsid{};
    HRESULT hr = !progId.empty() && progId[0] == '{' ? CLSIDFromString(name.c_str(), &clsid)
                                                     : CLSIDFromProgID(name.c_str(), &clsid);
    if (FAILED(hr)) return Failed(hr, "cannot find the class " + progId);
    obzkit::Ref<IDispatch> object;
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, object.PutVoid());
    if (FAILED(hr)) return Failed(hr, "cannot create " + progId);
    objects_[variable] = object;
    // The class, for the help that completion and a near miss give.
    classes_[variable] = IsEqualCLSID(clsid, CLSID_ZeveVevuVAD) ? "Ombrel.ZeveVevuVAD"
                         : IsEqualCLSID(clsid, CLSID_RecordSet) ? "Ombrel.RecordSet"
                         : IsEqualCLSID(clsid, CLSID_RecordItem) ? "Ombrel.RecordItem"
                                                                 : "";
    OLECHAR clsidText[40];
    const int length = StringFromGUID2(clsid, clsidText, 40);
    lastOutcome_ = "S_OK";
    out_ << "=> " << variable << " = " << progId << " " << obzkit::ToUtf8(clsidText, length > 0 ? length - 1 : 0)
         << std::endl;
    return true;
}

bool ObzShellSession::Call(const ShellCommand& command) {
    const std::string variable = command.Target().empty() ? kDatabaseVariable : command.Target();
    const auto target = objects_.find(variable);
    if (target == objects_.end()) return Fail("no object named " + variable);

    obzkit::OleString method = obzkit::ToOle(command.Name());
    LPOLESTR names[] = {method.data()};
    DISPID id = DISPID_UNKNOWN;
    HRESULT hr = target->second->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) {
        std::vector<std::string> names = ShellHelp::MethodNames(classes_[variable]);
        if (command.Target().empty()) {
            const std::vector<std::string> keywords = ShellHelp::Keywords();
            names.insert(names.end(), keywords.begin(), keywords.end());
        }
        const std::string nearest = ShellCompletion::Nearest(command.Name(), names);
        return Failed(hr, variable + " has no method " + command.Name() +
                              (nearest.empty() ? "" : "; did you mean " + nearest + "?"));
    }

    const std::vector<ShellLine::Word>& words = command.Arguments();
    ObzShellArguments arguments(words.size());
    for (size_t i = 0; i < words.size(); ++i) {
        VARIANT& value = arguments.At(i);
        if (words[i].reference) {
            const auto object = objects_.find(words[i].text);
            if (object == objects_.end()) return Fail("no object named " + words[i].text);
            value.vt = VT_DISPATCH;
            value.pdispVal = object->second.Get();
            value.pdispVal->AddRef();
        } else {
            const obzkit::OleString text = obzkit::ToOle(words[i].text);
            value.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
            if (value.bstrVal == nullptr) return Failed(E_OUTOFMEMORY, "no memory for the arguments");
            value.vt = VT_BSTR;
        }
    }

    DISPPARAMS params = arguments.Params();
    VARIANT result;
    VariantInit(&result);
    UINT argumentError = 0;
    hr = target->second->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD | DISPATCH_PROPERTYGET, &params,
                                &result, nullptr, &argumentError);
    if (FAILED(hr)) {
        VariantClear(&result);
        std::string what = command.Name() + " failed";
        if ((hr == DISP_E_TYPEMISMATCH || hr == DISP_E_OVERFLOW) && argumentError < words.size())
            what += " at argument " + std::to_string(words.size() - argumentError);
        Failed(hr, what);
        const std::string synopsis =
            ShellHelp::MethodNames(classes_[variable]).empty() ? "" : ShellHelp::Synopsis(command.Name());
        if (hr == DISP_E_BADPARAMCOUNT && !synopsis.empty()) {
            err_ << "   usage: " << (command.Target().empty() ? "" : variable + ".") << synopsis << std::endl;
        }
        return false;
    }

    switch (result.vt) {
        case VT_EMPTY:
            lastOutcome_ = obzkit::HresultText(hr);
            break;
        case VT_I4:
            lastOutcome_ = std::to_string(result.lVal);
            break;
        case VT_I2:
            lastOutcome_ = std::to_string(result.iVal);
            break;
        case VT_BOOL:
            lastOutcome_ = result.boolVal != VARIANT_FALSE ? "true" : "false";
            break;
        case VT_BSTR:
            lastOutcome_ = obzkit::ToUtf8(result.bstrVal);
            break;
        default:
            lastOutcome_ = "(a value of type " + std::to_string(result.vt) + ")";
            break;
    }
    std::string shown = result.vt == VT_BSTR ? "\"" + lastOutcome_ + "\"" : lastOutcome_;
    // A method with a result that also answers S_FALSE (a failed DropTable).
    if (result.vt != VT_EMPTY && hr != S_OK) shown += " (" + obzkit::HresultText(hr) + ")";
    out_ << "=> " << shown << std::endl;
    // Where a method answers 1 or 0, 0 is a failure; a count or a text never is.
    const ShellMethodGuide* guide = ShellMethodGuide::Find(command.Name());
    if (hr == S_FALSE || (result.vt == VT_BOOL && result.boolVal == VARIANT_FALSE) ||
        (result.vt == VT_I4 && result.lVal == 0 && guide != nullptr && guide->zeroFails)) {
        pending_ = command.Name() + " answered " + shown;
    }
    VariantClear(&result);
    return true;
}

void ObzShellSession::ReportFailure(bool expectable) {
    std::string what = std::move(pending_);
    pending_.clear();
    if (expectable) what += ", and no expect " + lastOutcome_ + " follows";
    Fail(what);
}

bool ObzShellSession::Query(const std::string& table, const std::string& conditionCol,
                            const std::string& conditionVal, const char* noun) {
    obzkit::Ref<IZeveVevuVAD> db;
    HRESULT hr = objects_[kDatabaseVariable]->QueryInterface(IID_IZeveVevuVAD, db.PutVoid());
    if (SUCCEEDED(hr) && !rows_) hr = obzkit::CreateObject(OLESTR("Ombrel.RecordSet"), IID_IRecordSet, rows_.PutVoid());
    if (SUCCEEDED(hr) && !item_) hr = obzkit::CreateObject(OLESTR("Ombrel.RecordItem"), IID_IRecordItem, item_.PutVoid());
    if (FAILED(hr)) return Failed(hr, "cannot make the objects of a query");

    VARIANT_BOOL succeeded = VARIANT_FALSE;
    hr = db->GetDBRecordSet(obzkit::Bstr(table), obzkit::Bstr(conditionCol), obzkit::Bstr(conditionVal), rows_.Get(),
                            &succeeded);
    if (FAILED(hr)) return Failed(hr, "GetDBRecordSet failed");
    if (succeeded == VARIANT_FALSE) {
        lastOutcome_ = "false";
        out_ << "=> false" << std::endl;
        pending_ = "GetDBRecordSet answered false";
        return true;
    }
    LONG count = 0;
    rows_->GetRecordCount(&count);
    // The tap keeps the column names that each row comes with; every value
    // is read from the item by name, as a client reads it.
    const obzkit::Ref<ObzShellItemTap> tap(new ObzShellItemTap(item_));
    std::vector<std::string> names;
    ShellTable result({});
    for (LONG i = 0; i < count; ++i) {
        VARIANT_BOOL loaded = VARIANT_FALSE;
        hr = rows_->GetRecordItem(i, tap.Get(), &loaded);
        if (FAILED(hr)) return Failed(hr, "GetRecordItem failed");
        if (i == 0) {
            for (size_t start = 0; start <= tap->Names().size();) {
                const size_t comma = std::min(tap->Names().find(',', start), tap->Names().size());
                names.push_back(tap->Names().substr(start, comma - start));
                start = comma + 1;
            }
            result = ShellTable(names);
        }
        std::vector<std::string> values;
        for (const std::string& name : names) {
            obzkit::Bstr value;
            item_->GetDataValue(obzkit::Bstr(name), value.Put());
            values.push_back(value.Utf8());
        }
        result.AddRow(std::move(values));
    }
    out_ << result.Text(noun) << std::flush;
    lastOutcome_ = std::to_string(count);
    return true;
}

bool ObzShellSession::Expect(const std::string& expected) {
    if (lastOutcome_ == expected) return true;
    return Fail("expected " + expected + " but the last outcome was " + lastOutcome_);
}

bool ObzShellSession::Help(const std::string& method) {
    if (method.empty()) {
        out_ << ShellHelp::Overview() << std::flush;
        return true;
    }
    std::string text;
    if (!ShellHelp::Topic(method, text)) {
        std::vector<std::string> names = ShellHelp::Keywords();
        for (const char* progId : {kDatabaseProgId, "Ombrel.RecordSet", "Ombrel.RecordItem"}) {
            const std::vector<std::string> methods = ShellHelp::MethodNames(progId);
            names.insert(names.end(), methods.begin(), methods.end());
        }
        const std::string nearest = ShellCompletion::Nearest(method.substr(method.find('.') + 1), names);
        return Fail("no method or line named " + method +
                    (nearest.empty() ? " (help lists them)" : "; did you mean " + nearest + "?"));
    }
    out_ << text << std::flush;
    return true;
}

bool ObzShellSession::Fail(const std::string& reason) {
    lastOutcome_ = "error";
    err_ << "=> error: " << reason << std::endl;
    return false;
}

bool ObzShellSession::Failed(HRESULT hr, const std::string& what) {
    lastOutcome_ = obzkit::HresultText(hr);
    const std::string name = HresultName(hr);
    err_ << "=> error " << lastOutcome_ << (name.empty() ? "" : " " + name) << ": " << what << std::endl;
    return false;
}

ShellCompletion::Variables ObzShellSession::Variables() const { return classes_; }
