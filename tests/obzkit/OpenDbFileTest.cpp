// The client kit's reopening call: what it hands the object's CreateDbFile,
// and which answers count as an opened file.
#include <gtest/gtest.h>

#include <string>

#include "obzkit/OpenDbFile.h"
#include "obzkit/Utf8.h"

namespace {

// A database object that keeps the arguments of CreateDbFile and answers as
// told; it is never released, so its count is not kept.
class RecordingDatabase final : public IZeveVevuVAD {
public:
    HRESULT result = S_OK;
    LONG answer = 1;
    std::string file, table, columns;

    STDMETHODIMP CreateDbFile(BSTR FileName, BSTR TableName, BSTR ColumnName, LONG* plRet) override {
        file = obzkit::ToUtf8(FileName);
        table = obzkit::ToUtf8(TableName);
        columns = obzkit::ToUtf8(ColumnName);
        if (plRet != nullptr) *plRet = answer;
        return result;
    }

    STDMETHODIMP QueryInterface(REFIID, void** ppv) override {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP Connect(BSTR, BSTR, LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP Disconnect() override { return E_NOTIMPL; }
    STDMETHODIMP ImportDbFile(BSTR, BSTR, BSTR, BSTR, BSTR, LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP InsertDBRecord(BSTR, BSTR, BSTR, LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP UpdateDBRecord(BSTR, BSTR, BSTR, BSTR, BSTR, LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP DeleteDBRecord(BSTR, BSTR, BSTR, LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP GetDBRecordSet(BSTR, BSTR, BSTR, IDispatch*, VARIANT_BOOL*) override { return E_NOTIMPL; }
    STDMETHODIMP BeginTransation() override { return E_NOTIMPL; }
    STDMETHODIMP CommitTransation() override { return E_NOTIMPL; }
    STDMETHODIMP DropTable(BSTR, BSTR, LONG*) override { return E_NOTIMPL; }
};

TEST(OpenDbFileTest, HandsTheFileTableAndColumnsToCreateDbFileAsGiven) {
    RecordingDatabase db;
    EXPECT_TRUE(obzkit::OpenDbFile(&db, "*/data/caf\xc3\xa9.db", "People|1|0|2", "id,name,city"));
    EXPECT_EQ(db.file, "*/data/caf\xc3\xa9.db");
    EXPECT_EQ(db.table, "People|1|0|2");
    EXPECT_EQ(db.columns, "id,name,city");
}

TEST(OpenDbFileTest, OnlyAnAnswerOfOneOpensTheFile) {
    RecordingDatabase db;
    db.answer = 0;  // the object could not open the file or make the table: its log says why
    EXPECT_FALSE(obzkit::OpenDbFile(&db, "Demo", "People", "id"));
    db.answer = 1;
    db.result = E_UNEXPECTED;  // the call itself failed
    EXPECT_FALSE(obzkit::OpenDbFile(&db, "Demo", "People", "id"));
    EXPECT_FALSE(obzkit::OpenDbFile(nullptr, "Demo", "People", "id"));
}

}  // namespace
