; The counter kit's Windows installer, built from the i686 deliverables by the
; build's installer target:
;   makensis -INPUTCHARSET UTF8 -DVERSION=1.0.0 -DSTAGE=DIR -DVOICE_PACK=DIR
;            -DVOICE_FILES=voice_files.nsh -DOUTFILE=setup.exe counter_kit.nsi
; STAGE is the kit installed to a folder (cmake --install), VOICE_PACK the
; synthetic voice pack (wav\ and setting.ini) made at build time, and
; VOICE_FILES defines VOICE_FILES_DO, which hands each sound's name to a macro.
;
; It puts the kit into the program folder, registers Korvel.dll, puts
; vocalcue.exe, setting.ini and a wav\ folder into the billing application's
; folder, maps the printer onto COM1 when it is not a serial port, and prints
; a test page. Every choice can be given on the command line:
;   setup.exe /S /APPDIR=C:\Billing /VOICE=synthetic|keep|PATH
;             /PORT=COM3|COM3:19200|printer:NAME|usb:|usb:TEXT|tcp://HOST:PORT
;             /TESTPAGE=0|1 [/D=C:\Program Files\Counter Kit]
; Exit status: 0 installed and every check passed; 3 installed, but the voice
; pack check or the test page found a fault (install-checks.txt in the
; program folder says which); 2 a choice on the command line is wrong.
; The uninstaller takes /S and /REMOVEVOICE=1 (also remove the venue's
; recordings from the billing application's wav folder).

Unicode true
ManifestDPIAware true
RequestExecutionLevel admin
SetCompressor /SOLID lzma

!include LogicLib.nsh
!include FileFunc.nsh
!include WinMessages.nsh
!include nsDialogs.nsh
!include WordFunc.nsh
!include TextFunc.nsh
!include ${VOICE_FILES}

!define PRODUCT "Counter kit"
!define KIT_KEY "Software\Counter Kit"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\CounterKit"
!define ENV_KEY "SYSTEM\CurrentControlSet\Control\Session Manager\Environment"
!define MAPPED_VALUE SLIPDRV_COM1

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\Counter Kit"
InstallDirRegKey HKLM "${KIT_KEY}" "InstallDir"
ShowInstDetails show
ShowUninstDetails show
VIProductVersion "${VERSION}.0"
VIAddVersionKey ProductName "${PRODUCT}"
VIAddVersionKey FileDescription "${PRODUCT} setup"
VIAddVersionKey FileVersion "${VERSION}"
VIAddVersionKey ProductVersion "${VERSION}"
VIAddVersionKey LegalCopyright ""

Var AppDir        ; the billing application's folder
Var Voice         ; synthetic, keep, or the folder of the venue's recordings
Var Port          ; the printer's port text
Var TestPage      ; 1: print a test page
Var ChecksFailed  ; 1: a check after installing found a fault
Var VoiceRadioVenue
Var VoiceRadioKeep
Var VoiceRadioSynthetic
Var VoiceDirField
Var PortField
Var TestPageBox

Page directory
PageEx directory
  DirVar $AppDir
  DirText "vocalcue.exe, setting.ini and the wav folder of announcements go into the billing application's folder: it starts vocalcue there." \
          "Billing application's folder" "Browse..."
  PageCallbacks AppDirPre "" AppDirLeave
PageExEnd
Page custom VoicePage VoiceLeave
Page custom PortPage PortLeave
Page instfiles
Page custom ChecksPage

UninstPage uninstConfirm
UninstPage instfiles

; ---- the port text ----------------------------------------------------------

; Checks the port text on the stack; leaves "" (refused) or the kind:
; com (a serial port, COM number and baud rate in $R8 and $R9) or mapped.
Function CheckPort
  Exch $0
  Push $1
  Push $2
  StrCpy $R8 ""
  StrCpy $R9 9600
  StrCpy $1 $0 3
  StrCpy $2 $0 "" 3
  ${If} $1 == "COM"
    ; COMn or COMn:BAUD, n 1-10: a number without sign or leading zero.
    ${WordFind} "$2" ":" "+1{" $R8
    ${WordFind} "$2" ":" "+1}" $R9
    ${If} $R8 == $2
      StrCpy $R9 9600
    ${EndIf}
    IntOp $1 $R8 + 0
    IntOp $2 $R9 + 0
    ${If} "$1" == "$R8"
    ${AndIf} "$2" == "$R9"
    ${AndIf} $1 >= 1
    ${AndIf} $1 <= 10
    ${AndIf} $2 >= 2400
    ${AndIf} $2 <= 115200
      StrCpy $0 com
    ${Else}
      StrCpy $0 ""
    ${EndIf}
  ${Else}
    StrCpy $1 $0 8
    StrCpy $2 $0 4
    ${If} $1 == "printer:"
    ${OrIf} $2 == "usb:"
      StrCpy $0 mapped
    ${Else}
      StrCpy $1 $0 6
      StrLen $2 $0
      ${If} $1 == "tcp://"
      ${AndIf} $2 > 6
        StrCpy $0 mapped
      ${Else}
        StrCpy $0 ""
      ${EndIf}
    ${EndIf}
  ${EndIf}
  Pop $2
  Pop $1
  Exch $0
FunctionEnd

; ---- the command line ---------------------------------------------------------

; Leaves the value of the option named on the stack (such as "/PORT=") on the
; stack, or sets the error flag when the command line does not give it. A
; value runs to the next blank that a slash follows, so it may hold slashes
; (tcp://HOST:PORT) and blanks (C:\Billing App); quotes around the value or
; the whole option are dropped.
!macro GET_OPTION_FUNCTION PREFIX
Function ${PREFIX}GetOption
  Exch $0
  Push $1
  Push $2
  ${GetParameters} $1
  StrCpy $1 " $1 "
  ClearErrors
  ${WordFind} $1 " $0" "E+1}" $2
  ${If} ${Errors}
    ClearErrors
    ${WordFind} $1 ` "$0` "E+1}" $2
  ${EndIf}
  ${If} ${Errors}
    Pop $2
    Pop $1
    Pop $0
    Push ""
    SetErrors
    Return
  ${EndIf}
  ${WordFind} $2 " /" "+1{" $2
  ${WordFind} $2 ' "/' "+1{" $2
  ${TrimNewLines} $2 $2
  ; Trailing blanks, then the quotes.
  ${Do}
    StrCpy $1 $2 1 -1
    ${If} $1 == " "
      StrCpy $2 $2 -1
    ${Else}
      ${ExitDo}
    ${EndIf}
  ${Loop}
  StrCpy $1 $2 1 -1
  ${If} $1 == '"'
    StrCpy $2 $2 -1
  ${EndIf}
  StrCpy $1 $2 1
  ${If} $1 == '"'
    StrCpy $2 $2 "" 1
  ${EndIf}
  StrCpy $0 $2
  Pop $2
  Pop $1
  Exch $0
  ClearErrors
FunctionEnd
!macroend
!insertmacro GET_OPTION_FUNCTION ""
!insertmacro GET_OPTION_FUNCTION "un."

; OPTION NAME VAR: VAR takes the option's value when the command line gives it.
!macro OPTION NAME VAR
  Push "${NAME}"
  Call GetOption
  Pop $R1
  ${IfNot} ${Errors}
    StrCpy ${VAR} $R1
  ${EndIf}
!macroend

; ---- start -------------------------------------------------------------------

Function .onInit
  ReadRegStr $AppDir HKLM "${KIT_KEY}" "AppDir"
  ReadRegStr $Port HKLM "${KIT_KEY}" "Port"
  ${If} $Port == ""
    StrCpy $Port COM1
  ${EndIf}
  StrCpy $Voice synthetic
  ${If} ${Silent}
    StrCpy $TestPage 0
  ${Else}
    StrCpy $TestPage 1
  ${EndIf}

  !insertmacro OPTION "/APPDIR=" $AppDir
  !insertmacro OPTION "/VOICE=" $Voice
  !insertmacro OPTION "/PORT=" $Port
  !insertmacro OPTION "/TESTPAGE=" $TestPage

  StrCpy $0 ""
  ${If} $TestPage != 0
  ${AndIf} $TestPage != 1
    StrCpy $0 "/TESTPAGE takes 0 or 1."
  ${EndIf}
  Push $Port
  Call CheckPort
  Pop $1
  ${If} $1 == ""
    StrCpy $0 "/PORT=$Port is not a port: COM1-COM10 (COM3:19200 with a baud rate), printer:NAME, usb:, usb:TEXT or tcp://HOST:PORT."
  ${EndIf}
  ${If} $Voice != synthetic
  ${AndIf} $Voice != keep
  ${AndIfNot} ${FileExists} "$Voice\*.*"
    StrCpy $0 "/VOICE=$Voice: no such folder (or synthetic, or keep)."
  ${EndIf}
  ${If} ${Silent}
  ${AndIf} $AppDir == ""
    StrCpy $0 "/APPDIR= names the billing application's folder."
  ${EndIf}
  ${If} $0 != ""
    MessageBox MB_ICONSTOP "$0" /SD IDOK
    SetErrorLevel 2
    Quit
  ${EndIf}
FunctionEnd

; ---- pages --------------------------------------------------------------------

Function AppDirPre
  ${If} $AppDir == ""
    StrCpy $AppDir "C:\"
  ${EndIf}
FunctionEnd

Function AppDirLeave
  ${If} $AppDir == $INSTDIR
    MessageBox MB_ICONEXCLAMATION "The billing application's folder is another one than the kit's program folder."
    Abort
  ${EndIf}
FunctionEnd

Function VoicePage
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateLabel} 0 0 100% 12u "Where the announcements in $AppDir\wav come from:"
  Pop $0
  ${NSD_CreateFirstRadioButton} 0 16u 100% 12u "The venue's recordings, copied from this folder:"
  Pop $VoiceRadioVenue
  ${NSD_CreateDirRequest} 12u 31u 186u 12u ""
  Pop $VoiceDirField
  ${NSD_CreateBrowseButton} 202u 30u 60u 14u "Browse..."
  Pop $0
  ${NSD_OnClick} $0 VoiceBrowse
  ${NSD_CreateLabel} 12u 46u 250u 10u "(the folder of the WAV files, or the one that holds their wav folder)"
  Pop $0
  ${NSD_CreateAdditionalRadioButton} 0 62u 100% 12u "The recordings already in $AppDir\wav, as they are"
  Pop $VoiceRadioKeep
  ${NSD_CreateAdditionalRadioButton} 0 78u 100% 12u "The kit's synthetic voice, to try the kit out before the recordings are there"
  Pop $VoiceRadioSynthetic
  ${NSD_CreateLabel} 0 98u 100% 24u "After installing, vocalcue-check looks at the folder and its findings are shown."
  Pop $0
  ${If} $Voice == synthetic
    ${NSD_Check} $VoiceRadioSynthetic
  ${ElseIf} $Voice == keep
    ${NSD_Check} $VoiceRadioKeep
  ${Else}
    ${NSD_Check} $VoiceRadioVenue
    ${NSD_SetText} $VoiceDirField $Voice
  ${EndIf}
  nsDialogs::Show
FunctionEnd

Function VoiceBrowse
  ${NSD_GetText} $VoiceDirField $0
  nsDialogs::SelectFolderDialog "The folder of the venue's recordings" $0
  Pop $0
  ${If} $0 != error
    ${NSD_SetText} $VoiceDirField $0
    ${NSD_Check} $VoiceRadioVenue
    ${NSD_Uncheck} $VoiceRadioKeep
    ${NSD_Uncheck} $VoiceRadioSynthetic
  ${EndIf}
FunctionEnd

Function VoiceLeave
  ${NSD_GetState} $VoiceRadioKeep $0
  ${NSD_GetState} $VoiceRadioSynthetic $1
  ${If} $0 == ${BST_CHECKED}
    StrCpy $Voice keep
  ${ElseIf} $1 == ${BST_CHECKED}
    StrCpy $Voice synthetic
  ${Else}
    ${NSD_GetText} $VoiceDirField $0
    ${IfNot} ${FileExists} "$0\*.*"
    ${OrIf} $0 == ""
      MessageBox MB_ICONEXCLAMATION "Choose the folder that holds the venue's recordings."
      Abort
    ${EndIf}
    StrCpy $Voice $0
  ${EndIf}
FunctionEnd

Function PortPage
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateLabel} 0 0 100% 40u "The receipt printer's port. A serial port (COM1-COM10, COM3:19200 for another baud rate than 9600) is the one the billing application opens. A printer queue (printer:NAME, printer: for the default queue), a USB printer (usb:) or a network printer (tcp://HOST:9100) is mapped onto COM1: the billing application then opens COM1."
  Pop $0
  ${NSD_CreateComboBox} 0 48u 200u 80u ""
  Pop $PortField
  ${NSD_CB_AddString} $PortField COM1
  ${NSD_CB_AddString} $PortField COM2
  ${NSD_CB_AddString} $PortField COM3
  ${NSD_CB_AddString} $PortField printer:
  ${NSD_CB_AddString} $PortField usb:
  ${NSD_CB_AddString} $PortField tcp://192.168.1.50:9100
  ${NSD_SetText} $PortField $Port
  ${NSD_CreateCheckBox} 0 68u 100% 12u "Print a test page when the kit is installed"
  Pop $TestPageBox
  ${If} $TestPage == 1
    ${NSD_Check} $TestPageBox
  ${EndIf}
  nsDialogs::Show
FunctionEnd

Function PortLeave
  ${NSD_GetText} $PortField $0
  Push $0
  Call CheckPort
  Pop $1
  ${If} $1 == ""
    MessageBox MB_ICONEXCLAMATION "$0 is not a port: COM1-COM10 (COM3:19200), printer:NAME, printer:, usb:, usb:TEXT or tcp://HOST:PORT."
    Abort
  ${EndIf}
  StrCpy $Port $0
  ${NSD_GetState} $TestPageBox $0
  ${If} $0 == ${BST_CHECKED}
    StrCpy $TestPage 1
  ${Else}
    StrCpy $TestPage 0
  ${EndIf}
FunctionEnd

; Shows install-checks.txt, which the programs wrote in UTF-8, through the
; wide window text: the NSIS string functions would read it in the ANSI code
; page and cap it at 1024 characters.
Function ChecksPage
  nsDialogs::Create 1018
  Pop $0
  ${If} $ChecksFailed == 1
    StrCpy $1 "Installed, but a check found a fault:"
  ${Else}
    StrCpy $1 "Installed; the checks found nothing wrong:"
  ${EndIf}
  ${NSD_CreateLabel} 0 0 100% 12u $1
  Pop $0
  ${NSD_CreateMLText} 0 14u 100% 120u ""
  Pop $2
  SendMessage $2 ${EM_SETREADONLY} 1 0
  FileOpen $3 "$INSTDIR\install-checks.txt" r
  ${IfNot} ${Errors}
    FileSeek $3 0 END $4
    FileSeek $3 0 SET
    IntOp $5 $4 + 1
    System::Alloc $5
    Pop $5
    IntOp $6 $4 * 2
    IntOp $6 $6 + 2
    System::Alloc $6
    Pop $6
    System::Call "kernel32::ReadFile(p r3, p r5, i r4, *i .r7, p 0)"
    System::Call "kernel32::MultiByteToWideChar(i 65001, i 0, p r5, i r7, p r6, i r4)"
    System::Call "user32::SetWindowTextW(p r2, p r6)"
    System::Free $5
    System::Free $6
    FileClose $3
  ${EndIf}
  nsDialogs::Show
FunctionEnd

; ---- installing --------------------------------------------------------------

; Copies one sound from the venue's folder ($R5) to the wav folder, when there.
!macro COPY_VOICE_FILE NAME
  ${If} ${FileExists} "$R5\${NAME}.wav"
    CopyFiles /SILENT "$R5\${NAME}.wav" "$AppDir\wav\${NAME}.wav"
  ${EndIf}
!macroend

!macro SYNTHETIC_VOICE_FILE NAME
  File "${VOICE_PACK}/wav/${NAME}.wav"
!macroend

; Appends a line to install-checks.txt.
!macro CHECKS_LINE TEXT
  FileOpen $R7 "$INSTDIR\install-checks.txt" a
  FileSeek $R7 0 END
  FileWrite $R7 "${TEXT}$\r$\n"
  FileClose $R7
!macroend

; Runs a console program in $OUTDIR with its output added to
; install-checks.txt as it wrote it (UTF-8); its exit status on the stack.
!macro CHECKS_RUN COMMAND
  nsExec::Exec `"$SYSDIR\cmd.exe" /c "${COMMAND} >>"$INSTDIR\install-checks.txt" 2>&1"`
!macroend

Section "-kit"
  SetOutPath "$INSTDIR\bin"
  File "${STAGE}/bin/slipdrv.dll"
  File "${STAGE}/bin/slipdrv.exports"
  File "${STAGE}/bin/Korvel.dll"
  File "${STAGE}/bin/vocalcue.exe"
  File "${STAGE}/bin/vocalcue-check.exe"
  File "${STAGE}/bin/slipdrv-print.exe"
  SetOutPath "$INSTDIR\include"
  File "${STAGE}/include/slipdrv.h"
  File "${STAGE}/include/Slipdrv.cs"
  File "${STAGE}/include/slipdrv.bas"
  File "${STAGE}/include/slipdrv.pas"
  File "${STAGE}/include/slipdrv_powerbuilder.txt"
  SetOutPath "$INSTDIR\lib"
  File "${STAGE}/lib/slipdrv.def"
  SetOutPath "$INSTDIR"
  File "${STAGE}/README.md"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  WriteRegStr HKLM "${KIT_KEY}" "InstallDir" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PRODUCT} maintainers"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1

  ; The automation server: its DllRegisterServer writes the ProgID, the
  ; class and the type library.
  ClearErrors
  RegDLL "$INSTDIR\bin\Korvel.dll"
  ${If} ${Errors}
    DetailPrint "Korvel.dll could not be registered"
    StrCpy $ChecksFailed 1
  ${EndIf}
SectionEnd

Section "-billing application's folder"
  WriteRegStr HKLM "${KIT_KEY}" "AppDir" "$AppDir"
  SetOutPath "$AppDir"
  File "${STAGE}/bin/vocalcue.exe"

  ; setting.ini switches announcements on. The billing application may keep
  ; its own settings in the file, so only the one value is written, and the
  ; uninstaller puts back what it was.
  ${If} ${FileExists} "$AppDir\setting.ini"
    ReadRegStr $0 HKLM "${KIT_KEY}" "SettingCreated"
    ${If} $0 == ""
      ReadINIStr $1 "$AppDir\setting.ini" setting vocalcue
      WriteRegStr HKLM "${KIT_KEY}" "SettingCreated" 0
      WriteRegStr HKLM "${KIT_KEY}" "SettingBefore" $1
    ${EndIf}
  ${Else}
    WriteRegStr HKLM "${KIT_KEY}" "SettingCreated" 1
  ${EndIf}
  WriteINIStr "$AppDir\setting.ini" setting vocalcue 1

  CreateDirectory "$AppDir\wav"
  ${If} $Voice == synthetic
    SetOutPath "$AppDir\wav"
    !insertmacro VOICE_FILES_DO SYNTHETIC_VOICE_FILE
    WriteRegStr HKLM "${KIT_KEY}" "Voice" synthetic
  ${ElseIf} $Voice == keep
    WriteRegStr HKLM "${KIT_KEY}" "Voice" venue
  ${Else}
    StrCpy $R5 $Voice
    ${If} ${FileExists} "$Voice\wav\*.*"
      StrCpy $R5 "$Voice\wav"
    ${EndIf}
    DetailPrint "Copying the venue's recordings from $R5"
    !insertmacro VOICE_FILES_DO COPY_VOICE_FILE
    WriteRegStr HKLM "${KIT_KEY}" "Voice" venue
  ${EndIf}
SectionEnd

Section "-printer port"
  Push $Port
  Call CheckPort
  Pop $0
  WriteRegStr HKLM "${KIT_KEY}" "Port" "$Port"
  ${If} $0 == mapped
    ; Programs started from now on see the mapping; running ones (the
    ; shell, which starts the billing application) are told to read it anew.
    WriteRegStr HKLM "${ENV_KEY}" "${MAPPED_VALUE}" "$Port"
    WriteRegStr HKLM "${KIT_KEY}" "Mapped" 1
    System::Call 'kernel32::SetEnvironmentVariable(t "${MAPPED_VALUE}", t "$Port")'
    StrCpy $R8 1
    StrCpy $R9 9600
  ${Else}
    ; A serial port needs no mapping; one left by an earlier install goes.
    ReadRegStr $1 HKLM "${KIT_KEY}" "Mapped"
    ${If} $1 == 1
      DeleteRegValue HKLM "${ENV_KEY}" "${MAPPED_VALUE}"
      DeleteRegValue HKLM "${KIT_KEY}" "Mapped"
    ${EndIf}
    System::Call 'kernel32::SetEnvironmentVariable(t "${MAPPED_VALUE}", p 0)'
  ${EndIf}
  SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=5000
SectionEnd

Section "-checks"
  Delete "$INSTDIR\install-checks.txt"
  !insertmacro CHECKS_LINE "vocalcue-check in $AppDir:"
  SetOutPath "$AppDir"
  !insertmacro CHECKS_RUN `"$INSTDIR\bin\vocalcue-check.exe"`
  Pop $0
  ${If} $0 != 0
    StrCpy $ChecksFailed 1
    DetailPrint "vocalcue-check: the voice pack is not all in place (exit status $0)"
  ${Else}
    DetailPrint "vocalcue-check: everything is in place"
  ${EndIf}

  ${If} $TestPage == 1
    !insertmacro CHECKS_LINE ""
    !insertmacro CHECKS_LINE "Test page on $Port (COM$R8 at $R9 baud):"
    SetOutPath "$INSTDIR\bin"
    !insertmacro CHECKS_RUN `"$INSTDIR\bin\slipdrv-print.exe" --port $R8 --baud $R9 --title "Counter kit" "Test page" "Port: $Port" "Kit ${VERSION}" --feed 3 --cut`
    Pop $0
    ${If} $0 == 0
      !insertmacro CHECKS_LINE "test page printed"
      DetailPrint "Test page printed on $Port"
    ${Else}
      !insertmacro CHECKS_LINE "test page NOT printed (slipdrv-print exit status $0)"
      DetailPrint "The test page did not print on $Port (exit status $0)"
      StrCpy $ChecksFailed 1
    ${EndIf}
  ${EndIf}
  ${If} $ChecksFailed == 1
    SetErrorLevel 3
  ${EndIf}
SectionEnd

; ---- uninstalling --------------------------------------------------------------

!macro REMOVE_VOICE_FILE NAME
  Delete "$AppDir\wav\${NAME}.wav"
!macroend

Section "Uninstall"
  ReadRegStr $AppDir HKLM "${KIT_KEY}" "AppDir"
  ReadRegStr $Voice HKLM "${KIT_KEY}" "Voice"

  ; The venue's recordings stay unless asked for.
  StrCpy $1 0
  ${If} $Voice == synthetic
    StrCpy $1 1
  ${Else}
    Push "/REMOVEVOICE="
    Call un.GetOption
    Pop $2
    ${If} ${Errors}
      ${IfNot} ${Silent}
      ${AndIf} $AppDir != ""
        MessageBox MB_YESNO|MB_ICONQUESTION|MB_DEFBUTTON2 "Remove the venue's recordings from $AppDir\wav too?" IDNO +2
        StrCpy $1 1
      ${EndIf}
    ${ElseIf} $2 == 1
      StrCpy $1 1
    ${EndIf}
  ${EndIf}

  ClearErrors
  UnRegDLL "$INSTDIR\bin\Korvel.dll"
  ${If} ${Errors}
    DetailPrint "Korvel.dll was not registered"
  ${EndIf}

  ${If} $AppDir != ""
    Delete "$AppDir\vocalcue.exe"
    ReadRegStr $0 HKLM "${KIT_KEY}" "SettingCreated"
    ${If} $0 == 1
      Delete "$AppDir\setting.ini"
    ${ElseIf} $0 == 0
      ReadRegStr $0 HKLM "${KIT_KEY}" "SettingBefore"
      ${If} $0 == ""
        DeleteINIStr "$AppDir\setting.ini" setting vocalcue
      ${Else}
        WriteINIStr "$AppDir\setting.ini" setting vocalcue $0
      ${EndIf}
    ${EndIf}
    ${If} $1 == 1
      !insertmacro VOICE_FILES_DO REMOVE_VOICE_FILE
    ${EndIf}
    RMDir "$AppDir\wav"
  ${EndIf}

  ReadRegStr $0 HKLM "${KIT_KEY}" "Mapped"
  ${If} $0 == 1
    DeleteRegValue HKLM "${ENV_KEY}" "${MAPPED_VALUE}"
    SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=5000
  ${EndIf}

  Delete "$INSTDIR\bin\slipdrv.dll"
  Delete "$INSTDIR\bin\slipdrv.exports"
  Delete "$INSTDIR\bin\Korvel.dll"
  Delete "$INSTDIR\bin\vocalcue.exe"
  Delete "$INSTDIR\bin\vocalcue-check.exe"
  Delete "$INSTDIR\bin\slipdrv-print.exe"
  Delete "$INSTDIR\include\slipdrv.h"
  Delete "$INSTDIR\include\Slipdrv.cs"
  Delete "$INSTDIR\include\slipdrv.bas"
  Delete "$INSTDIR\include\slipdrv.pas"
  Delete "$INSTDIR\include\slipdrv_powerbuilder.txt"
  Delete "$INSTDIR\lib\slipdrv.def"
  Delete "$INSTDIR\README.md"
  Delete "$INSTDIR\install-checks.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR\bin"
  RMDir "$INSTDIR\include"
  RMDir "$INSTDIR\lib"
  RMDir "$INSTDIR"

  DeleteRegKey HKLM "${KIT_KEY}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
