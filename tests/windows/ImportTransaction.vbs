' Late-bound bulk import and transaction through the registered component:
' imports an 8-bit and a UTF-16 text file, groups writes in a transaction
' (invisible to queries until the commit), and drops the table. Exits with 1
' on the first wrong result.
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

Function ReadRows(zv, table, columns)
    Dim rs, item, count, i, j, row, text
    Set rs = CreateObject("Ombrel.RecordSet" & suffix)
    Set item = CreateObject("Ombrel.RecordItem" & suffix)
    If Not zv.GetDBRecordSet(table, "", "", rs) Then Fail "GetDBRecordSet " & table, "False"
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

' The import files, written by the test script into C:\obz-import:
' items.txt, 8-bit text: each line ends its row with ";" (line breaks are
'   dropped), values are separated by "#", text values stand quoted, NULL bare:
'   'a1'#'apple'#3;  'a2'#'pear'#NULL;  'a3'#'it''s'#7;
' wide.txt, UTF-16 with a byte-order mark: rows end at "#", values at "|":
'   'w1'|'<U+4E2D U+6587>'|1#'w2'|'x'|2#
Const folder = "C:\obz-import"
Dim zv
Set zv = CreateObject("Ombrel.ZeveVevuVAD" & suffix)
zv.DropTable "WineImport", ""
Expect "CreateDbFile", zv.CreateDbFile("WineImport", "Seed", "k"), 1
Expect "import 8-bit", zv.ImportDbFile(folder & "\items.txt", "Items", "Id,Name,Qty", ";", "#"), 1
Expect "imported rows", ReadRows(zv, "Items", Array("Id", "Name", "Qty")), "a1|apple|3;a2|pear|;a3|it's|7"
Expect "import UTF-16", zv.ImportDbFile(folder & "\wide.txt", "Items", "Id,Name,Qty", "#", "|"), 1
Expect "wide rows", ReadRows(zv, "Items#*#Id,Qty", Array("Id", "Qty")), "a1|3;a2|;a3|7;w1|1;w2|2"
' The two CJK characters of w1 arrive as two UTF-16 units (Wine's VBScript
' has no ChrW to spell them).
Dim names, wide
names = Split(ReadRows(zv, "Items#*#Name", Array("Name")), ";")
Expect "names", UBound(names), 4
wide = names(3)
Expect "length of the wide name", Len(wide), 2
Expect "the wide name is not 8-bit text", InStr(wide, "'") + InStr(wide, Chr(0)), 0
Expect "import of a missing file", zv.ImportDbFile(folder & "\missing.txt", "Items", "Id,Name,Qty", ";", "#"), 0
Expect "a failed import leaves the table", ReadRows(zv, "Items#*#Id", Array("Id")), "a1;a2;a3;w1;w2"

' A transaction: writes are invisible to queries until the commit.
zv.BeginTransation
Expect "insert in transaction", zv.InsertDBRecord("Items", "Id,Name,Qty", "t1,plum,1"), 1
Expect "insert into a missing table in transaction", zv.InsertDBRecord("Nope", "Id", "t9"), 0
Expect "update in transaction", zv.UpdateDBRecord("Items", "Id", "a1", "Qty", "30"), 1
Expect "delete in transaction", zv.DeleteDBRecord("Items", "Id", "a2"), 1
Expect "before commit", ReadRows(zv, "Items#*#Id,Qty", Array("Id", "Qty")), "a1|3;a2|;a3|7;w1|1;w2|2"
zv.CommitTransation
Expect "after commit", ReadRows(zv, "Items#*#Id,Qty", Array("Id", "Qty")), "a1|30;a3|7;w1|1;w2|2;t1|1"

Expect "drop table", zv.DropTable("", "Items"), 1
Dim rs
Set rs = CreateObject("Ombrel.RecordSet" & suffix)
Expect "query after drop", zv.GetDBRecordSet("Items", "", "", rs), False
zv.DropTable "", ""
WScript.Echo "ImportTransaction: all checks passed"
WScript.Quit 0
