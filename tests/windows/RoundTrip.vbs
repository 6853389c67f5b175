' Late-bound round trip through the registered component: creates a database
' file and a table, inserts, updates, deletes, queries with a select list and
' reads every row back through GetRecordItem and GetDataValue, drops the table
' and the file; then imports an 8-bit and a UTF-16 text file and groups
' writes in a transaction (invisible to queries until the commit). Exits with
' 1 on the first wrong result.
Option Explicit

' The first argument, when given, is appended to every ProgID (".1" selects
' the version-dependent ProgIDs).
Dim suffix
suffix = ""
If WScript.Arguments.Count > 0 Then suffix = WScript.Arguments(0)

' Text with every character outside printable ASCII written as "?": the
' console of a script host may not take it.
Function Printable(text)
    Dim i, c, out
    out = ""
    For i = 1 To Len(text)
        c = Asc(Mid(text, i, 1))
        If c >= 32 And c < 127 Then out = out & Chr(c) Else out = out & "?"
    Next
    Printable = out
End Function

Sub Fail(what, got)
    WScript.Echo "FAILED: " & Printable(what) & " (got: " & Printable(got) & ")"
    WScript.Quit 1
End Sub

Sub Expect(what, got, wanted)
    If CStr(got) <> CStr(wanted) Then Fail what & ", expected " & wanted, got
End Sub

' Every row of a query as text: the values of each row joined by "|",
' the rows joined by ";", read through a RecordItem by column name.
Function ReadRows(zv, table, condCol, condVal, columns)
    Dim rs, item, count, i, j, row, text
    Set rs = CreateObject("Ombrel.RecordSet" & suffix)
    Set item = CreateObject("Ombrel.RecordItem" & suffix)
    If Not zv.GetDBRecordSet(table, condCol, condVal, rs) Then Fail "GetDBRecordSet " & table, "False"
    count = rs.GetRecordCount()
    text = ""
    For i = 0 To count - 1
        If Not rs.GetRecordItem(i, item) Then Fail "GetRecordItem " & i, "False"
        row = ""
        For j = 0 To UBound(columns)
            If j > 0 Then row = row & "|"
            row = row & item.GetDataValue(columns(j))
        Next
        If i > 0 Then text = text & ";"
        text = text & row
    Next
    ReadRows = text
End Function

Dim zv
Set zv = CreateObject("Ombrel.ZeveVevuVAD" & suffix)
Expect "Connect", zv.Connect("", "WineTest"), 1

' A fresh file and table; Name is the primary key. Each method is called late
' bound with the texts a script passes (the engine's tests check each rule).
zv.DropTable "WineRoundTrip", ""
Expect "CreateDbFile", zv.CreateDbFile("WineRoundTrip", "People", "Name,Age,City"), 1
Expect "insert Ann", zv.InsertDBRecord("People", "Name,Age,City", "Ann,31,Oslo"), 1
Expect "insert with a quote", zv.InsertDBRecord("People", "Name,Age,City", "O'Neil,28,Cork"), 1
Expect "insert with a separator suffix", zv.InsertDBRecord("People", "Name,Age,City", "Cy;52;Rome, Italy||;"), 1
Expect "insert into a missing table", zv.InsertDBRecord("NoSuchTable", "Name", "x"), 0
Expect "all rows", ReadRows(zv, "People", "", "", Array("Name", "Age", "City")), _
    "Ann|31|Oslo;O'Neil|28|Cork;Cy|52|Rome, Italy"
' REPLACE semantics: the same key replaces the row (the new row comes last).
Expect "replace Ann", zv.InsertDBRecord("People", "Name,Age,City", "Ann,32,Oslo"), 1
Expect "update with a quoted condition", zv.UpdateDBRecord("People", "Name", "O'Neil", "Age,City", "29,Dublin"), 1
Expect "update with unequal lists", zv.UpdateDBRecord("People", "Name", "Ann", "Age,City", "47"), 0
Expect "delete like", zv.DeleteDBRecord("People", "City", "Rom%"), 1
Expect "after the changes", ReadRows(zv, "People", "", "", Array("Name", "Age", "City")), _
    "O'Neil|29|Dublin;Ann|32|Oslo"
' A select list with a condition; a field outside it reads as empty text.
Expect "select list", ReadRows(zv, "People#*#Name", "Age", "32", Array("Name", "City")), "Ann|"
Dim rs, item, names, wide
Set rs = CreateObject("Ombrel.RecordSet" & suffix)
Set item = CreateObject("Ombrel.RecordItem" & suffix)
Expect "misspelt table", zv.GetDBRecordSet("Peeple", "", "", rs), False
Expect "query", zv.GetDBRecordSet("People", "Name", "Ann", rs), True
Expect "one row", rs.GetRecordCount(), 1
Expect "row beyond the end", rs.GetRecordItem(1, item), False

' Drop the table, then the file.
Expect "drop table", zv.DropTable("", "People"), 1
Expect "query after drop", zv.GetDBRecordSet("People", "", "", rs), False
Dim fso
Set fso = CreateObject("Scripting.FileSystemObject")
Const dbPath = "C:\ProgramData\Ombrel\API\DataBase\WineRoundTrip.db"
Expect "file exists before delete", fso.FileExists(dbPath), True
zv.DropTable "", ""
Expect "file deleted", fso.FileExists(dbPath), False

' The import files, written by the test script into C:\obz-import:
' items.txt, 8-bit text: each line ends its row with ";" (line breaks are
'   dropped), values are separated by "#", text values stand quoted, NULL bare:
'   'a1'#'apple'#3;  'a2'#'pear'#NULL;  'a3'#'it''s'#7;
' wide.txt, UTF-16 with a byte-order mark: rows end at "#", values at "|":
'   'w1'|'<U+4E2D U+6587>'|1#'w2'|'x'|2#
Const folder = "C:\obz-import"
zv.DropTable "WineImport", ""
Expect "CreateDbFile", zv.CreateDbFile("WineImport", "Seed", "k"), 1
Expect "import 8-bit", zv.ImportDbFile(folder & "\items.txt", "Items", "Id,Name,Qty", ";", "#"), 1
Expect "imported rows", ReadRows(zv, "Items", "", "", Array("Id", "Name", "Qty")), "a1|apple|3;a2|pear|;a3|it's|7"
Expect "import UTF-16", zv.ImportDbFile(folder & "\wide.txt", "Items", "Id,Name,Qty", "#", "|"), 1
Expect "wide rows", ReadRows(zv, "Items#*#Id,Qty", "", "", Array("Id", "Qty")), "a1|3;a2|;a3|7;w1|1;w2|2"
' The two CJK characters of w1 arrive as two UTF-16 units (Wine's VBScript
' has no ChrW to spell them).
names = Split(ReadRows(zv, "Items#*#Name", "", "", Array("Name")), ";")
Expect "names", UBound(names), 4
wide = names(3)
Expect "length of the wide name", Len(wide), 2
Expect "the wide name is not 8-bit text", InStr(wide, "'") + InStr(wide, Chr(0)), 0
Expect "import of a missing file", zv.ImportDbFile(folder & "\missing.txt", "Items", "Id,Name,Qty", ";", "#"), 0
Expect "a failed import leaves the table", ReadRows(zv, "Items#*#Id", "", "", Array("Id")), "a1;a2;a3;w1;w2"

' A transaction: writes are invisible to queries until the commit.
zv.BeginTransation
Expect "insert in transaction", zv.InsertDBRecord("Items", "Id,Name,Qty", "t1,plum,1"), 1
Expect "insert into a missing table in transaction", zv.InsertDBRecord("Nope", "Id", "t9"), 0
Expect "update in transaction", zv.UpdateDBRecord("Items", "Id", "a1", "Qty", "30"), 1
Expect "delete in transaction", zv.DeleteDBRecord("Items", "Id", "a2"), 1
Expect "before commit", ReadRows(zv, "Items#*#Id,Qty", "", "", Array("Id", "Qty")), "a1|3;a2|;a3|7;w1|1;w2|2"
zv.CommitTransation
Expect "after commit", ReadRows(zv, "Items#*#Id,Qty", "", "", Array("Id", "Qty")), "a1|30;a3|7;w1|1;w2|2;t1|1"

Expect "drop table", zv.DropTable("", "Items"), 1
Expect "query after drop", zv.GetDBRecordSet("Items", "", "", rs), False
zv.DropTable "", ""
zv.Disconnect
WScript.Echo "RoundTrip: all checks passed"
WScript.Quit 0
