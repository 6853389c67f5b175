#include "ComponentImport.h"

#include "obzkit/Bstr.h"
#include "obzkit/Create.h"
#include "obzkit/EventSink.h"

using obzkit::Bstr;

namespace {
Bstr Text(const std::string& utf8) { return Bstr(std::string_view(utf8)); }
}  // namespace

// Prints each log line, indented after its first line, while shown.
class ComponentImport::LogPrinter : public obzkit::EventSink {
public:
    explicit LogPrinter(std::ostream& out) : out_(out) {}
    bool shown = false;

protected:
    void OnWriteLog(const std::string& text) override {
        if (shown) out_ << "obz-import: " << Indented(text, "    ") << std::endl;
    }
    void OnCommandMsg(LONG, LONG, const std::string&) override {}

private:
    std::ostream& out_;
};

ComponentImport::ComponentImport(std::ostream& log) : log_(log) {}

ComponentImport::~ComponentImport() = default;

HRESULT ComponentImport::Start() {
    const HRESULT hr = obzkit::CreateObject(OLESTR("Ombrel.ZeveVevuVAD"), IID_IZeveVevuVAD, db_.PutVoid());
    if (FAILED(hr)) return hr;
    printer_ = obzkit::Ref<LogPrinter>(new LogPrinter(log_));
    subscription_ = std::make_unique<obzkit::EventSubscription>(db_.Get(), printer_.Get());
    return subscription_->Result();
}

LONG ComponentImport::Connect(const std::string& hostAddress, const std::string& systemName) {
    LONG ret = 0;
    if (FAILED(db_->Connect(Text(hostAddress), Text(systemName), &ret))) return 0;
    return ret;
}

LONG ComponentImport::CreateDbFile(const std::string& fileName, const std::string& table,
                                   const std::string& columns) {
    LONG ret = 0;
    printer_->shown = true;
    const HRESULT hr = db_->CreateDbFile(Text(fileName), Text(table), Text(columns), &ret);
    printer_->shown = false;
    return FAILED(hr) ? 0 : ret;
}

LONG ComponentImport::ImportDbFile(const std::string& filePath, const std::string& table,
                                   const std::string& columns, const std::string& rowSplit,
                                   const std::string& columnSplit) {
    LONG ret = 0;
    printer_->shown = true;
    const HRESULT hr =
        db_->ImportDbFile(Text(filePath), Text(table), Text(columns), Text(rowSplit), Text(columnSplit), &ret);
    printer_->shown = false;
    return FAILED(hr) ? 0 : ret;
}
