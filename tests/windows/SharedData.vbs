' Both bitnesses of the component find one data folder: the install folder
' comes from HKLM\SOFTWARE\VANTORIS\ObzShared (value Ombrel) in the
' registry's 64-bit view, which the stage writes. "write" (run by one
' bitness's script host) stores a row there; "read" (run by the other's)
' finds it and drops the file.
Option Explicit

Sub Fail(what)
    WScript.Echo "FAILED: " & what
    WScript.Quit 1
End Sub

Dim db, rs, item, mode
mode = WScript.Arguments(0)
Set db = CreateObject("Ombrel.ZeveVevuVAD.1")
db.Connect "", "ObzShared"
If mode = "write" Then
    db.DropTable "SharedData", ""
    If db.CreateDbFile("SharedData", "Rows", "id,bits") <> 1 Then Fail "CreateDbFile"
    If db.InsertDBRecord("Rows", "id,bits", "1," & WScript.Arguments(1)) <> 1 Then Fail "InsertDBRecord"
Else
    Set rs = CreateObject("Ombrel.RecordSet.1")
    Set item = CreateObject("Ombrel.RecordItem.1")
    ' The file that the other bitness wrote becomes this object's current file.
    If db.CreateDbFile("SharedData", "Rows", "id,bits") <> 1 Then Fail "CreateDbFile"
    If Not db.GetDBRecordSet("Rows", "id", "1", rs) Then Fail "GetDBRecordSet"
    If rs.GetRecordCount() <> 1 Then Fail "the other bitness's row is not in the shared data folder"
    rs.GetRecordItem 0, item
    If item.GetDataValue("bits") <> WScript.Arguments(1) Then Fail "the row holds " & item.GetDataValue("bits")
    db.DropTable "SharedData", ""
End If
WScript.Echo "SharedData.vbs " & mode & ": all checks passed"
