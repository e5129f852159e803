' table_lights.vbs: switches the lights of a venue's tables through Korvel.dll
' (register it once with regsvr32): one digit a table, 1 on and 0 off, sent to
' the table controller at an address on COM1.
'   cscript //nologo table_lights.vbs [ADDRESS [DIGITS]]
' Exit 0 when the controller answered, 1 when another device answered, 2 on
' an error (its number and text are printed).
Option Explicit
Dim korvel, address, digits, result
address = 1
digits = "1010000011110000"
If WScript.Arguments.Count > 0 Then address = CInt(WScript.Arguments(0))
If WScript.Arguments.Count > 1 Then digits = WScript.Arguments(1)

Set korvel = CreateObject("Korvel.ClsKorvel")
On Error Resume Next
result = korvel.SendData(address, digits)
If Err.Number <> 0 Then
    WScript.Echo "Korvel error " & Err.Number & ": " & Err.Description
    WScript.Quit 2
End If
On Error GoTo 0

If result = 0 Then
    ' The text comes back normalised to the 64 tables.
    WScript.Echo "controller " & address & " switched: " & digits
    WScript.Quit 0
End If
WScript.Echo "another device answered for address " & address
WScript.Quit 1
