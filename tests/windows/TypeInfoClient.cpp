// A Windows client that asks the registered component for type information:
// each of the three objects, created by ProgID, offers one type info, the
// one of its interface in the registered library, in any locale, and its
// member names resolve there to the dispatch identifiers the object itself
// answers. Prints one line per failed check and exits non-zero when any failed.
#include <OBZeveVevuVAD.h>
#include <obzkit/Create.h>
#include <obzkit/Ref.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {
int failures = 0;

void Check(bool ok, const std::string& what) {
    if (!ok) {
        ++failures;
        std::printf("FAILED: %s\n", what.c_str());
    }
}

struct Case {
    const wchar_t* progId;
    const char* interfaceName;
    std::vector<const wchar_t*> members;
};

void CheckObject(const Case& c) {
    const std::string name = c.interfaceName;
    obzkit::Ref<IDispatch> object;
    if (FAILED(obzkit::CreateObject(c.progId, IID_IDispatch, object.PutVoid()))) {
        Check(false, name + ": create the object by ProgID");
        return;
    }
    UINT count = 99;
    Check(object->GetTypeInfoCount(&count) == S_OK && count == 1, name + ": GetTypeInfoCount answers 1");
    ITypeInfo* other = reinterpret_cast<ITypeInfo*>(1);
    Check(object->GetTypeInfo(1, 0, &other) == DISP_E_BADINDEX && other == nullptr,
          name + ": type info 1 is DISP_E_BADINDEX");
    // Neutral, the library's own, the user default that script hosts pass,
    // and a locale the library is not registered under.
    for (LCID lcid : {LCID(0), LCID(0x409), LCID(LOCALE_USER_DEFAULT), LCID(0x407)}) {
        const std::string where = name + " (locale " + std::to_string(lcid) + ")";
        ITypeInfo* info = nullptr;
        const HRESULT hr = object->GetTypeInfo(0, lcid, &info);
        Check(hr == S_OK && info != nullptr, where + ": GetTypeInfo(0) succeeds");
        if (info == nullptr) continue;
        BSTR docName = nullptr;
        Check(SUCCEEDED(info->GetDocumentation(MEMBERID_NIL, &docName, nullptr, nullptr, nullptr)) &&
                  docName != nullptr && std::wstring(docName) == std::wstring(name.begin(), name.end()),
              where + ": the type info names the interface");
        SysFreeString(docName);
        for (const wchar_t* member : c.members) {
            const std::string memberName(member, member + wcslen(member));
            LPOLESTR names[] = {const_cast<LPOLESTR>(member)};
            MEMBERID fromTypeInfo = -1;
            DISPID fromObject = -2;
            Check(SUCCEEDED(info->GetIDsOfNames(names, 1, &fromTypeInfo)) &&
                      SUCCEEDED(object->GetIDsOfNames(IID_NULL, names, 1, lcid, &fromObject)) &&
                      fromTypeInfo == fromObject,
                  where + ": " + memberName + " has the same identifier in the type info and the object");
        }
        info->Release();
    }
}
}  // namespace

int main() {
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {
        std::printf("FAILED: CoInitializeEx\n");
        return 1;
    }
    const Case cases[] = {
        {L"Ombrel.ZeveVevuVAD.1", "IZeveVevuVAD",
         {L"Connect", L"Disconnect", L"ImportDbFile", L"InsertDBRecord", L"UpdateDBRecord", L"DeleteDBRecord",
          L"GetDBRecordSet", L"CreateDbFile", L"BeginTransation", L"CommitTransation", L"DropTable"}},
        {L"Ombrel.RecordSet.1", "IRecordSet", {L"GetRecordCount", L"GetRecordItem", L"SetRecordItem", L"SetColumnName"}},
        {L"Ombrel.RecordItem.1", "IRecordItem", {L"GetDataValue", L"SetDataValue"}},
    };
    for (const Case& c : cases) CheckObject(c);
    CoUninitialize();
    std::printf(failures == 0 ? "type info client: all checks passed\n" : "type info client: %d failure(s)\n",
                failures);
    return failures == 0 ? 0 : 1;
}
