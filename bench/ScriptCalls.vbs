' Late-bound calls from a script client, the component beside a built-in
' object of the script host in the same run:
'   - inserts: InsertDBRecord inside one transaction, microseconds a call
'     (target: at most 50);
'   - reads: per row of the result, GetRecordItem and three GetDataValue,
'     against the same number of late-bound calls on Scripting.Dictionary
'     (Exists and three Item reads): microseconds a call and the ratio
'     (target: at most 1.5).
' Usage: cscript //nologo ScriptCalls.vbs [rows] [rounds]   (default 5000, 3)
' The Windows stage (scripts/windows-test.sh) runs it with each bitness's
' script host. Each side runs `rounds` times, taking turns; the fastest
' round of each counts. Exits with 1 when a call fails.
Option Explicit

Dim rows, rounds
rows = 5000
rounds = 3
If WScript.Arguments.Count > 0 Then rows = CLng(WScript.Arguments(0))
If WScript.Arguments.Count > 1 Then rounds = CLng(WScript.Arguments(1))

Sub Fail(what)
    WScript.Echo "FAILED: " & what
    WScript.Quit 1
End Sub

' Seconds since the last call of Elapsed (Timer wraps at midnight).
Dim mark
Function Elapsed()
    Dim now
    now = Timer
    If now < mark Then now = now + 86400
    Elapsed = now - mark
    mark = Timer
End Function

Function Micro(seconds, calls)
    Micro = FormatNumber(seconds * 1000000 / calls, 2)
End Function

Dim db, rs, item, dict, i, r, v, insertBest, readBest, dictBest, t
Set db = CreateObject("Ombrel.ZeveVevuVAD.1")
Set rs = CreateObject("Ombrel.RecordSet.1")
Set item = CreateObject("Ombrel.RecordItem.1")
Set dict = CreateObject("Scripting.Dictionary")
dict.Add "id", "1"
dict.Add "name", "name1"
dict.Add "city", "city1"

insertBest = -1
readBest = -1
dictBest = -1
For r = 1 To rounds
    db.DropTable "BenchScriptCalls", ""
    If db.CreateDbFile("BenchScriptCalls", "Rows", "id,name,city") <> 1 Then Fail "CreateDbFile"
    db.BeginTransation
    Elapsed
    For i = 1 To rows
        v = db.InsertDBRecord("Rows", "id,name,city", i & ",name" & i & ",city" & i)
    Next
    t = Elapsed
    db.CommitTransation
    If v <> 1 Then Fail "InsertDBRecord"
    If insertBest < 0 Or t < insertBest Then insertBest = t

    If Not db.GetDBRecordSet("Rows", "", "", rs) Then Fail "GetDBRecordSet"
    If rs.GetRecordCount() <> rows Then Fail "the query holds " & rs.GetRecordCount() & " rows"
    Elapsed
    For i = 0 To rows - 1
        rs.GetRecordItem i, item
        v = item.GetDataValue("id")
        v = item.GetDataValue("name")
        v = item.GetDataValue("city")
    Next
    t = Elapsed
    If v <> "city" & rows Then Fail "the last value read is " & v
    If readBest < 0 Or t < readBest Then readBest = t

    Elapsed
    For i = 0 To rows - 1
        v = dict.Exists("id")
        v = dict.Item("id")
        v = dict.Item("name")
        v = dict.Item("city")
    Next
    t = Elapsed
    If dictBest < 0 Or t < dictBest Then dictBest = t
Next
db.DropTable "BenchScriptCalls", ""

WScript.Echo "insert in a transaction: " & Micro(insertBest, rows) & " us a call (target <= 50)"
WScript.Echo "reads: " & Micro(readBest, 4 * rows) & " us a call; Scripting.Dictionary: " & _
    Micro(dictBest, 4 * rows) & " us a call"
If dictBest > 0 Then
    WScript.Echo "reads against Scripting.Dictionary: " & FormatNumber(readBest / dictBest, 2) & " (target <= 1.5)"
Else
    WScript.Echo "reads against Scripting.Dictionary: too fast to time; raise the row count"
End If
WScript.Echo "ScriptCalls.vbs: all checks passed"
