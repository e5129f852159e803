' A VBScript host of Korvel.ClsKorvel against the Modbus slave mapped to COM1.
'   cscript //nologo korvel_client.vbs MODE-FILE STATE-FILE
' Wine's cscript hides uncaught errors, so every step is checked by hand and
' the script quits with the number of failed checks.
Option Explicit
Dim fso, modeFile, stateFile, checks, failures, o, a, d, r, before
Set fso = CreateObject("Scripting.FileSystemObject")
modeFile = WScript.Arguments(0)
stateFile = WScript.Arguments(1)
checks = 0
failures = 0

Sub Check(name, ok)
    checks = checks + 1
    If ok Then
        WScript.Echo "ok   " & name
    Else
        failures = failures + 1
        WScript.Echo "FAIL " & name
    End If
End Sub

' The slave's behaviour for the next request: reply, other or none.
Sub SetMode(mode)
    Dim f
    Set f = fso.CreateTextFile(modeFile, True)
    f.WriteLine mode
    f.Close
End Sub

Function StateValue(key)
    Dim f, line
    StateValue = ""
    Set f = fso.OpenTextFile(stateFile, 1)
    Do Until f.AtEndOfStream
        line = f.ReadLine
        If Left(line, Len(key) + 1) = key & " " Then StateValue = Mid(line, Len(key) + 2)
    Loop
    f.Close
End Function

Function Outcome()
    Outcome = " (result " & r & ", Err " & Err.Number & " " & Err.Description & ")"
End Function

On Error Resume Next
SetMode "reply"
Set o = CreateObject("Korvel.ClsKorvel")
Check "CreateObject(""Korvel.ClsKorvel"") (Err " & Err.Number & ")", Err.Number = 0
If Err.Number <> 0 Then
    WScript.Echo "korvel client: 0 passed, 1 failed"
    WScript.Quit 1
End If

' Variables: the text comes back normalised, the address as it was.
a = 1
d = "1"
Err.Clear
r = Empty
r = o.SendData(a, d)
Check "variables: result 0" & Outcome(), Err.Number = 0 And r = 0
Check "variables: result is a 16-bit integer (" & TypeName(r) & ")", TypeName(r) = "Integer"
Check "variables: datas written back as 64 characters", d = "1" & String(63, "0")
Check "variables: address unchanged", a = 1
Check "variables: slave registers 8000 0000 0000 0000 (" & StateValue("registers") & ")", _
    StateValue("registers") = "8000 0000 0000 0000"

' Literals, and a text longer than 64 characters.
Err.Clear
r = Empty
r = o.SendData(1, "1111111100000001" & String(48, "1") & "0000000")
Check "literals: result 0" & Outcome(), Err.Number = 0 And r = 0
Check "literals: slave registers FF01 FFFF FFFF FFFF (" & StateValue("registers") & ")", _
    StateValue("registers") = "FF01 FFFF FFFF FFFF"

' A variable that holds a number for the address.
a = CLng(1)
d = String(64, "0")
Err.Clear
o.SendData a, d
Check "statement call with a Long address" & Outcome(), Err.Number = 0
Check "all zero: slave registers 0000 0000 0000 0000", StateValue("registers") = "0000 0000 0000 0000"

' A reply from another address.
SetMode "other"
a = 1
Err.Clear
r = Empty
r = o.SendData(a, d)
Check "reply from another address: -1" & Outcome(), Err.Number = 0 And r = -1

' No reply: error 9.
SetMode "none"
Err.Clear
r = Empty
r = o.SendData(a, d)
Check "no reply: Err 9" & Outcome(), Err.Number = 9
Check "no reply: description", Err.Description = "Subscript out of range"
SetMode "reply"

' Addresses 256 and -1: error 6 before any byte reaches the slave.
For Each a In Array(256, -1)
    before = StateValue("received")
    d = "1"
    Err.Clear
    r = o.SendData(a, d)
    Check "address " & a & ": Err 6" & Outcome(), Err.Number = 6
    Check "address " & a & ": description", Err.Description = "Overflow"
    Check "address " & a & ": nothing sent", StateValue("received") = before
    Check "address " & a & ": datas normalised", d = "1" & String(63, "0")
Next

' The next call still works.
a = 1
d = "01"
Err.Clear
r = Empty
r = o.SendData(a, d)
Check "after the errors: result 0" & Outcome(), Err.Number = 0 And r = 0
Check "after the errors: slave registers 4000 0000 0000 0000", StateValue("registers") = "4000 0000 0000 0000"

' A group worth more than 255.
d = "2"
Err.Clear
r = o.SendData(a, d)
Check "group over 255: Err 6" & Outcome(), Err.Number = 6

WScript.Echo "korvel client: " & (checks - failures) & " passed, " & failures & " failed"
WScript.Quit failures
