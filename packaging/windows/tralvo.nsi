; Windows installer for Tralvo (32-bit), built by scripts/windows/windows.sh:
;   makensis -DVERSION=1.0.0 -DDEPLOY_DIR=<folder with tralvo.exe and its DLLs> \
;            -DOUTFILE=tralvo-1.0.0-win32-setup.exe [-DWITH_OPENSSL] tralvo.nsi
;          (-DWITH_OPENSSL: the deploy folder holds OpenSSL 3's DLLs and the JPEG plugin)
; Silent:  setup.exe /S [/AUTOSTART=0|1] [/PROFILE=0|1] [/MATCH=start|escpos|star|any]
;                       [/PRINTER=COMn[:SETTINGS]|socket://HOST[:PORT]|queue:NAME]
;                       [/LISTEN=[ADDRESS:]PORT] [/HTTP=[ADDRESS:]PORT] [/HTTPS=[ADDRESS:]PORT]
;                       [/HTTPORIGIN=ORIGIN[,ORIGIN...]]
;          (an empty /MATCH=, /PRINTER=, /LISTEN=, /HTTP=, /HTTPS= or /HTTPORIGIN= clears that
;          option; /HTTP= is the web door for browser POS software, /HTTPS= the same over TLS,
;          whose certificate Setup adds to the computer's trusted roots, /HTTPORIGIN= the web
;          origins, such as https://shop.example.com, whose pages may call it). Switches are
;          separated by blanks; a value, or a whole switch, may be put in quotes, as a printer's
;          name with blanks must be: "/PRINTER=queue:EPSON TM-T20II Receipt".
; Each choice not given is kept from the earlier install.
; Exit codes: 0 done; 2 bad option; 3 installed, but the log-on task could not be created;
;             4 Tralvo could not be stopped (nothing changed).

Unicode true

!ifndef VERSION | DEPLOY_DIR | OUTFILE
  !error "define VERSION, DEPLOY_DIR and OUTFILE with -D"
!endif
!ifndef PUBLISHER
  !define PUBLISHER "Tralvo"
!endif

!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tralvo"
; The integrator's choices, read back by an upgrade.
!define SETTINGS_KEY "Software\Tralvo"
!define TASK_NAME "Tralvo"
; The subject of the till's own certificate for https (web/tillcertificate.cpp), which no other
; certificate bears.
!define CERTIFICATE_NAME "Tralvo on this till"

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include TextFunc.nsh
!include nsDialogs.nsh

Name "Tralvo ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES32\Tralvo"
; An upgrade lands where the earlier version is (read in the 32-bit view, as written).
InstallDirRegKey HKLM "${UNINST_KEY}" "InstallLocation"
RequestExecutionLevel admin
; -DCOMPRESSOR=zlib builds a test installer in seconds rather than a minute.
!ifndef COMPRESSOR
  !define COMPRESSOR "/SOLID lzma"
!endif
SetCompressor ${COMPRESSOR}
ManifestDPIAware true
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "Tralvo"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "FileDescription" "Tralvo ${VERSION} Setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "MIT licence"

Var Autostart      ; 1: a log-on task starts Tralvo hidden
Var DrawerProfile ; drawer profile, 0 or 1
Var WasAutostart   ; the choice recorded by an earlier install
Var Upgrade        ; 1 when an earlier install is there
Var Running        ; set by TralvoRunning
Var WasRunning     ; Tralvo ran when Setup began
Var Match          ; Tralvo's --match: empty (not given), start, escpos, star or any
Var Printer        ; Tralvo's --printer: empty (none), COMn[:SETTINGS], socket://HOST[:PORT]
                   ; or queue:NAME (a Windows printer)
Var Listen         ; Tralvo's --listen: empty (none) or [ADDRESS:]PORT
Var Http           ; Tralvo's --http: empty (none) or [ADDRESS:]PORT
Var Https          ; Tralvo's --https: empty (none) or [ADDRESS:]PORT
Var HttpOrigin     ; Tralvo's --http-origin: empty (none) or ORIGIN[,ORIGIN...]
Var ProgramOptions ; the text options as the program takes them (--match=...), each after a space
                   ; (quoted when it holds a blank)
Var TaskArguments  ; the task's arguments, written as XML text
Var NotInNames     ; the characters that Setup takes in no printer's name (built in .onInit)
Var AutostartBox
Var Profile0Radio
Var Profile1Radio
Var MatchList
Var PrinterField
Var ListenField
Var HttpField
Var HttpsField
Var HttpOriginField

; ---------------------------------------------------------------------------------------------
; The program's text options that Setup takes: the switch, the value's name under SETTINGS_KEY,
; the program's option, the variable and the function that checks a value ($0 in, $R1 = 1 when
; good). Each is kept from the earlier install unless given, and empty means not given.
!macro TextOptions ACTION
  !insertmacro ${ACTION} MATCH Match match $Match ValidMatch
  !insertmacro ${ACTION} PRINTER Printer printer $Printer ValidPrinter
  !insertmacro ${ACTION} LISTEN Listen listen $Listen ValidListen
  !insertmacro ${ACTION} HTTP Http http $Http ValidListen
  !insertmacro ${ACTION} HTTPS Https https $Https ValidListen
  !insertmacro ${ACTION} HTTPORIGIN HttpOrigin http-origin $HttpOrigin ValidOrigins
!macroend

; ---------------------------------------------------------------------------------------------
; Exactly the files the installer adds; the uninstaller removes this list and nothing else, so
; a vendor CashBox.dll (or anything else an integrator put there) stays.
!macro TralvoFiles ACTION
  !insertmacro ${ACTION} "" "tralvo.exe"
  !insertmacro ${ACTION} "" "Qt5Core.dll"
  !insertmacro ${ACTION} "" "Qt5Gui.dll"
  !insertmacro ${ACTION} "" "Qt5Widgets.dll"
  !insertmacro ${ACTION} "" "Qt5SerialPort.dll"
  !insertmacro ${ACTION} "" "Qt5Network.dll"
  !ifdef WITH_OPENSSL
    ; Qt Network's TLS, linked in; and the JPEG reader for the web door's receipt pictures.
    !insertmacro ${ACTION} "" "libssl-3.dll"
    !insertmacro ${ACTION} "" "libcrypto-3.dll"
    !insertmacro ${ACTION} "imageformats" "qjpeg.dll"
  !endif
  !insertmacro ${ACTION} "" "libgcc_s_dw2-1.dll"
  !insertmacro ${ACTION} "" "libstdc++-6.dll"
  !insertmacro ${ACTION} "" "libwinpthread-1.dll"
  !insertmacro ${ACTION} "platforms" "qwindows.dll"
  !insertmacro ${ACTION} "styles" "qwindowsvistastyle.dll"
  !ifdef EXTRA_NAME
    ; One more file, for the upgrade test (scripts/windows/installer-check.sh).
    !insertmacro ${ACTION} "${EXTRA_DIR}" "${EXTRA_NAME}"
  !endif
!macroend
!ifndef EXTRA_DIR
  !define EXTRA_DIR ""
!endif
!macro InstallFile DIR NAME
  !if "${DIR}" == ""
    SetOutPath "$INSTDIR"
    File "${DEPLOY_DIR}\${NAME}"
  !else
    SetOutPath "$INSTDIR\${DIR}"
    File "${DEPLOY_DIR}\${DIR}\${NAME}"
  !endif
!macroend
!macro RemoveFile DIR NAME
  !if "${DIR}" == ""
    Delete "$INSTDIR\${NAME}"
  !else
    Delete "$INSTDIR\${DIR}\${NAME}"
    RMDir "$INSTDIR\${DIR}" ; only once empty
  !endif
!macroend

; ---------------------------------------------------------------------------------------------
; What Setup wrote, one path a line relative to the install folder, kept there as
; tralvo-files.txt. An upgrade removes the files of the earlier version that this one does not
; ship; the uninstaller removes exactly the files listed. A line that would leave the install
; folder, or names the integrator's CashBox.dll, is never acted on.
!define FILE_LIST "tralvo-files.txt"
!macro RecordFile DIR NAME
  !if "${DIR}" == ""
    FileWrite $R9 "${NAME}$\r$\n"
  !else
    FileWrite $R9 "${DIR}\${NAME}$\r$\n"
  !endif
!macroend
!macro MatchFile DIR NAME
  !if "${DIR}" == ""
    ${IfThen} $R8 == "${NAME}" ${|} StrCpy $R7 1 ${|}
  !else
    ${IfThen} $R8 == "${DIR}\${NAME}" ${|} StrCpy $R7 1 ${|}
  !endif
!macroend

Function WriteFileList
  FileOpen $R9 "$INSTDIR\${FILE_LIST}" w
  !insertmacro TralvoFiles RecordFile
  FileWrite $R9 "uninstall.exe$\r$\n"
  ${If} ${FileExists} "$INSTDIR\tralvo-task.xml"
    FileWrite $R9 "tralvo-task.xml$\r$\n"
  ${EndIf}
  FileClose $R9
FunctionEnd

!macro FileListFunctions UN
; $R7 = 1 when the line $R8 names a file inside the install folder, other than CashBox.dll.
Function ${UN}Removable
  Push $0
  Push $1
  StrCpy $R7 0
  StrCpy $0 $R8 1
  ${If} $R8 != ""
  ${AndIf} $0 != "\"
  ${AndIf} $R8 != "CashBox.dll" ; != ignores case
  ${AndIf} $R8 != "${FILE_LIST}"
    StrCpy $1 0
    ${Do}
      StrCpy $0 $R8 1 $1
      ${If} $0 == ""
        StrCpy $R7 1
        ${ExitDo}
      ${EndIf}
      ${IfThen} $0 == ":" ${|} ${ExitDo} ${|}
      ${IfThen} $0 == "/" ${|} ${ExitDo} ${|}
      StrCpy $0 $R8 2 $1
      ${IfThen} $0 == ".." ${|} ${ExitDo} ${|}
      IntOp $1 $1 + 1
    ${Loop}
  ${EndIf}
  Pop $1
  Pop $0
FunctionEnd

; Removes the files that the list names, and the folders they were in once empty; with $R6 = 1
; (an upgrade) only those that this Setup does not ship. $R5 = 0 when there is no list.
Function ${UN}RemoveListed
  Push $0
  StrCpy $R5 0
  ClearErrors
  FileOpen $R9 "$INSTDIR\${FILE_LIST}" r
  ${IfNot} ${Errors}
    StrCpy $R5 1
    ${Do}
      ClearErrors
      FileRead $R9 $R8
      ${IfThen} ${Errors} ${|} ${ExitDo} ${|}
      ${TrimNewLines} $R8 $R8
      Call ${UN}Removable
      ${If} $R7 = 1
      ${AndIf} $R6 = 1
        StrCpy $R7 0
        !insertmacro TralvoFiles MatchFile
        ${IfThen} $R8 == "uninstall.exe" ${|} StrCpy $R7 1 ${|}
        ${IfThen} $R8 == "tralvo-task.xml" ${|} StrCpy $R7 1 ${|}
        IntOp $R7 1 - $R7 ; shipped now: kept
      ${EndIf}
      ${If} $R7 = 1
        Delete "$INSTDIR\$R8"
        ${GetParent} "$INSTDIR\$R8" $0
        ${DoWhile} $0 != "$INSTDIR"
          ${IfThen} $0 == "" ${|} ${ExitDo} ${|}
          RMDir $0 ; only once empty
          ${GetParent} $0 $0
        ${Loop}
      ${EndIf}
    ${Loop}
    FileClose $R9
  ${EndIf}
  Pop $0
FunctionEnd
!macroend
!insertmacro FileListFunctions ""
!insertmacro FileListFunctions "un."

; ---------------------------------------------------------------------------------------------
; The log-on task, kept beside the program as tralvo-task.xml (an integrator can register it again
; with: schtasks /Create /TN Tralvo /XML tralvo-task.xml /F). From XML rather than schtasks /SC
; ONLOGON, because that gives a task Windows stops after 72 hours and on battery power, and a till
; runs for months. It runs at the log-on of any member of Administrators, with their full rights,
; so the program's elevation needs no prompt.
Function WriteTaskXml
  StrCpy $0 "1,$DrawerProfile$ProgramOptions"
  Call XmlText
  StrCpy $TaskArguments $0
  FileOpen $0 "$INSTDIR\tralvo-task.xml" w
  FileWriteUTF16LE /BOM $0 '<?xml version="1.0" encoding="UTF-16"?>$\r$\n'
  FileWriteUTF16LE $0 '<Task version="1.2" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">$\r$\n'
  FileWriteUTF16LE $0 '  <RegistrationInfo><Description>Starts Tralvo hidden with drawer profile $DrawerProfile at log-on.</Description></RegistrationInfo>$\r$\n'
  FileWriteUTF16LE $0 '  <Triggers><LogonTrigger><Enabled>true</Enabled></LogonTrigger></Triggers>$\r$\n'
  FileWriteUTF16LE $0 '  <Principals><Principal id="Author"><GroupId>S-1-5-32-544</GroupId><RunLevel>HighestAvailable</RunLevel></Principal></Principals>$\r$\n'
  FileWriteUTF16LE $0 '  <Settings>$\r$\n'
  FileWriteUTF16LE $0 '    <MultipleInstancesPolicy>IgnoreNew</MultipleInstancesPolicy>$\r$\n'
  FileWriteUTF16LE $0 '    <DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>$\r$\n'
  FileWriteUTF16LE $0 '    <StopIfGoingOnBatteries>false</StopIfGoingOnBatteries>$\r$\n'
  FileWriteUTF16LE $0 '    <ExecutionTimeLimit>PT0S</ExecutionTimeLimit>$\r$\n'
  FileWriteUTF16LE $0 '    <Enabled>true</Enabled>$\r$\n'
  FileWriteUTF16LE $0 '  </Settings>$\r$\n'
  FileWriteUTF16LE $0 '  <Actions Context="Author"><Exec><Command>"$INSTDIR\tralvo.exe"</Command><Arguments>$TaskArguments</Arguments></Exec></Actions>$\r$\n'
  FileWriteUTF16LE $0 '</Task>$\r$\n'
  FileClose $0
FunctionEnd

; $0 as XML text: & < and > written as entities (a printer's name may hold them).
Function XmlText
  Push $1
  Push $2
  Push $3
  StrCpy $1 ""
  StrCpy $2 0
  ${Do}
    StrCpy $3 $0 1 $2
    ${IfThen} $3 == "" ${|} ${ExitDo} ${|}
    ${If} $3 == "&"
      StrCpy $3 "&amp;"
    ${ElseIf} $3 == "<"
      StrCpy $3 "&lt;"
    ${ElseIf} $3 == ">"
      StrCpy $3 "&gt;"
    ${EndIf}
    StrCpy $1 "$1$3"
    IntOp $2 $2 + 1
  ${Loop}
  StrCpy $0 $1
  Pop $3
  Pop $2
  Pop $1
FunctionEnd

; ---------------------------------------------------------------------------------------------
; Stopping a running Tralvo, shared by installer and uninstaller (functions need the un. prefix).
!macro TralvoProcessFunctions UN
; $Running = 1 when a process named tralvo.exe exists. Toolhelp, because tasklist cannot filter
; under Wine and its output is localised on Windows.
Function ${UN}TralvoRunning
  Push $0
  Push $1
  Push $2
  StrCpy $Running 0
  System::Call 'kernel32::CreateToolhelp32Snapshot(i 2, i 0) p .r0' ; TH32CS_SNAPPROCESS
  ${If} $0 <> -1
    System::Alloc 556 ; PROCESSENTRY32W on 32-bit
    Pop $1
    System::Call '*$1(i 556)'
    System::Call 'kernel32::Process32FirstW(p r0, p r1) i .r2'
    ${DoWhile} $2 <> 0
      System::Call '*$1(i, i, i, p, i, i, i, i, i, &w260 .r2)'
      ${If} $2 == "tralvo.exe" ; == ignores case
        StrCpy $Running 1
        ${ExitDo}
      ${EndIf}
      System::Call 'kernel32::Process32NextW(p r0, p r1) i .r2'
    ${Loop}
    System::Free $1
    System::Call 'kernel32::CloseHandle(p r0)'
  ${EndIf}
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

; Waits up to 5 s for Tralvo to end; $Running tells whether it still runs.
Function ${UN}WaitForTralvo
  Push $0
  ${For} $0 1 20
    Call ${UN}TralvoRunning
    ${IfThen} $Running = 0 ${|} ${ExitFor} ${|}
    Sleep 250
  ${Next}
  Pop $0
FunctionEnd

; Plain taskkill first: it posts WM_CLOSE, so Tralvo closes its ports in order. /F only when
; that did not end it. Aborts (exit code 4) if Tralvo still runs, before anything is changed.
Function ${UN}StopTralvo
  Call ${UN}TralvoRunning
  ${If} $Running = 0
    Return
  ${EndIf}
  DetailPrint "Tralvo is running: asking it to close (taskkill /IM tralvo.exe)"
  nsExec::ExecToLog '"$SYSDIR\taskkill.exe" /IM tralvo.exe'
  Pop $0
  Call ${UN}WaitForTralvo
  ${If} $Running = 1
    DetailPrint "Tralvo did not close within 5 s: ending it (taskkill /F /IM tralvo.exe)"
    nsExec::ExecToLog '"$SYSDIR\taskkill.exe" /F /IM tralvo.exe'
    Pop $0
    Call ${UN}WaitForTralvo
  ${EndIf}
  ${If} $Running = 1
    DetailPrint "Tralvo is still running; nothing was changed"
    ${IfNot} ${Silent}
      MessageBox MB_ICONSTOP "Tralvo is still running and could not be stopped.$\r$\nEnd it in Task Manager and try again."
    ${EndIf}
    SetErrorLevel 4
    Quit
  ${EndIf}
  DetailPrint "Tralvo has stopped"
FunctionEnd
!macroend
!insertmacro TralvoProcessFunctions ""
!insertmacro TralvoProcessFunctions "un."

; ---------------------------------------------------------------------------------------------
; The https door's certificate in the computer's trusted roots, so that the browser takes it from
; 127.0.0.1. Setup records what it added (TrustedCertificate under SETTINGS_KEY), and takes out
; only that. A certutil that fails (Wine has none) fails nothing else: Setup says so and goes on.

; Has the program make the till's own certificate, if there is none yet, and adds it.
Function TrustCertificate
  Push $0
  Push $1
  DetailPrint "Tralvo's own certificate for https (tralvo.exe --https-certificate-path)"
  nsExec::ExecToStack /TIMEOUT=60000 '"$INSTDIR\tralvo.exe" --https-certificate-path'
  Pop $0 ; the exit code, "error" or "timeout"
  Pop $1 ; the certificate's path, or why there is none
  ${TrimNewLines} $1 $1
  ${If} $0 != 0
    DetailPrint "tralvo.exe could not make it (exit code $0): $1"
    DetailPrint "The https door starts only once it can; the reason is in tralvo.log"
  ${ElseIfNot} ${FileExists} $1
    DetailPrint "tralvo.exe named no certificate file: $1"
  ${Else}
    DetailPrint "Adding $1 to this computer's trusted roots"
    nsExec::ExecToLog '"$SYSDIR\certutil.exe" -addstore Root "$1"'
    Pop $0
    ${If} $0 == 0
      WriteRegStr HKLM "${SETTINGS_KEY}" "TrustedCertificate" $1
    ${Else}
      DetailPrint "certutil could not add it (exit code $0); from an elevated prompt: certutil -addstore Root $\"$1$\""
    ${EndIf}
  ${EndIf}
  Pop $1
  Pop $0
FunctionEnd

!macro UntrustFunction UN
; Takes out of the trusted roots what Setup put there: by the certificate's subject, which also
; finds one made again since.
Function ${UN}UntrustCertificate
  Push $0
  ReadRegStr $0 HKLM "${SETTINGS_KEY}" "TrustedCertificate"
  ${If} $0 != ""
    DetailPrint "Removing Tralvo's own certificate from this computer's trusted roots"
    nsExec::ExecToLog '"$SYSDIR\certutil.exe" -delstore Root "${CERTIFICATE_NAME}"'
    Pop $0
    ${If} $0 == 0
      DeleteRegValue HKLM "${SETTINGS_KEY}" "TrustedCertificate"
    ${Else}
      DetailPrint "certutil could not remove it (exit code $0); from an elevated prompt: certutil -delstore Root $\"${CERTIFICATE_NAME}$\""
    ${EndIf}
  ${EndIf}
  Pop $0
FunctionEnd
!macroend
!insertmacro UntrustFunction ""
!insertmacro UntrustFunction "un."

; ---------------------------------------------------------------------------------------------
; Pages
!define MUI_ABORTWARNING
; The application's icon (packaging/windows/make-icon.sh makes it from packaging/tralvo.svg).
!define MUI_ICON "${__FILEDIR__}\tralvo.ico"
!define MUI_UNICON "${__FILEDIR__}\tralvo.ico"
!insertmacro MUI_PAGE_WELCOME
!define MUI_PAGE_CUSTOMFUNCTION_PRE SkipOnUpgrade
!insertmacro MUI_PAGE_DIRECTORY
Page custom AutostartPageCreate AutostartPageLeave
Page custom WebPageCreate WebPageLeave
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TITLE "Tralvo is installed"
!define MUI_FINISHPAGE_TEXT "Tralvo ${VERSION} is installed in $INSTDIR.$\r$\n$\r$\nTralvo does not come with the drawer library: copy the vendor's CashBox.dll next to tralvo.exe, into $INSTDIR. Tralvo runs elevated, so it looks only there and in the Windows system folders, never in the current folder or on PATH.$\r$\n$\r$\nClick Finish to close Setup."
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

; An upgrade goes into the folder of the earlier install: a second copy would leave two
; programs fighting over COM9.
Function SkipOnUpgrade
  ${If} $Upgrade = 1
    Abort
  ${EndIf}
FunctionEnd

Function AutostartPageCreate
  !insertmacro MUI_HEADER_TEXT "Start at log-on" "Choose whether Tralvo starts by itself, its drawer profile, its printer line and its network print port."
  nsDialogs::Create 1018
  Pop $0
  ${If} $0 == error
    Abort
  ${EndIf}
  ${NSD_CreateCheckbox} 0 0 100% 12u "&Start Tralvo hidden when a user logs on (a scheduled task with highest privileges)"
  Pop $AutostartBox
  ${If} $Autostart = 1
    ${NSD_Check} $AutostartBox
  ${EndIf}
  ${NSD_CreateLabel} 0 18u 100% 10u "Drawer profile (used by the log-on task and the Start-menu shortcut):"
  Pop $0
  ${NSD_CreateFirstRadioButton} 10u 30u 35% 12u "Profile &0"
  Pop $Profile0Radio
  ${NSD_CreateAdditionalRadioButton} 45% 30u 35% 12u "Profile &1"
  Pop $Profile1Radio
  ${If} $DrawerProfile = 1
    ${NSD_Check} $Profile1Radio
  ${Else}
    ${NSD_Check} $Profile0Radio
  ${EndIf}
  ${NSD_CreateLabel} 0 50u 45% 10u "Drawer command (--match):"
  Pop $0
  ${NSD_CreateDropList} 45% 48u 40% 80u ""
  Pop $MatchList
  ${NSD_CB_AddString} $MatchList "(not given)"
  ${NSD_CB_AddString} $MatchList "start"
  ${NSD_CB_AddString} $MatchList "escpos"
  ${NSD_CB_AddString} $MatchList "star"
  ${NSD_CB_AddString} $MatchList "any"
  ${If} $Match == ""
    ${NSD_CB_SelectString} $MatchList "(not given)"
  ${Else}
    ${NSD_CB_SelectString} $MatchList $Match
  ${EndIf}
  ${NSD_CreateLabel} 0 66u 100% 10u "Receipt printer to pass everything through to (--printer), empty for none:"
  Pop $0
  ; A field with a list: the installed printers to choose from, or any other value typed.
  ${NSD_CreateComboBox} 10u 78u 60% 80u ""
  Pop $PrinterField
  Call AddInstalledPrinters
  ${NSD_SetText} $PrinterField $Printer
  ${NSD_CreateLabel} 10u 92u 90% 16u "An installed printer from the list, COM3:9600,N,8,1,rtscts or socket://192.168.1.50"
  Pop $0
  ${NSD_CreateLabel} 0 110u 45% 10u "Network print port (--listen):"
  Pop $0
  ${NSD_CreateText} 45% 108u 40% 12u $Listen
  Pop $ListenField
  ${NSD_CreateLabel} 10u 124u 90% 10u "Empty for none; e.g. 9100, 127.0.0.1:9100 or [::1]:9100 (TCP, raw, as a printer)"
  Pop $0
  nsDialogs::Show
FunctionEnd

; Fills the printer field's list with the installed printers as queue:NAME: the local ones and the
; connections to a print server's (\\SERVER\NAME), as the spooler lists them (EnumPrintersW
; level 4, which asks no printer for its state). A name that Setup would refuse is left out.
Function AddInstalledPrinters
  Push $0
  Push $1
  Push $2
  Push $3
  Push $4
  Push $5
  Push $R1
  StrCpy $1 0
  StrCpy $2 0
  ; PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS; the first call asks how much room the list needs.
  System::Call 'winspool.drv::EnumPrintersW(i 6, p 0, i 4, p 0, i 0, *i 0 r1, *i 0 r2) i .r0'
  ${If} $1 > 0
    System::Alloc $1
    Pop $3
    System::Call 'winspool.drv::EnumPrintersW(i 6, p 0, i 4, p r3, i r1, *i r1 r1, *i 0 r2) i .r0'
    ${If} $0 <> 0
      StrCpy $4 $3
      ${For} $5 1 $2
        ; PRINTER_INFO_4W: pPrinterName, pServerName, Attributes (12 bytes on 32-bit Windows)
        System::Call '*$4(w .r0)'
        StrCpy $0 "queue:$0"
        Call ValidPrinter
        ${If} $R1 = 1
          ${NSD_CB_AddString} $PrinterField $0
        ${EndIf}
        IntOp $4 $4 + 12
      ${Next}
    ${EndIf}
    System::Free $3
  ${EndIf}
  Pop $R1
  Pop $5
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

; Sets VAR from the text field FIELD, or keeps the page with MESSAGE when CHECK refuses it.
!macro TakeField FIELD VAR CHECK MESSAGE
  ${NSD_GetText} ${FIELD} $0
  Call ${CHECK}
  ${If} $R1 != 1
    MessageBox MB_ICONEXCLAMATION "$\"$0$\" ${MESSAGE}"
    Abort
  ${EndIf}
  StrCpy ${VAR} $0
!macroend

Function AutostartPageLeave
  ${NSD_GetState} $AutostartBox $0
  ${If} $0 = ${BST_CHECKED}
    StrCpy $Autostart 1
  ${Else}
    StrCpy $Autostart 0
  ${EndIf}
  ${NSD_GetState} $Profile1Radio $0
  ${If} $0 = ${BST_CHECKED}
    StrCpy $DrawerProfile 1
  ${Else}
    StrCpy $DrawerProfile 0
  ${EndIf}
  ${NSD_GetText} $MatchList $0
  ${IfThen} $0 == "(not given)" ${|} StrCpy $0 "" ${|}
  StrCpy $Match $0
  !insertmacro TakeField $PrinterField $Printer ValidPrinter \
      "is not a printer: choose an installed one from the list, or give COMn, COMn:SETTINGS such as COM3:9600,N,8,1,rtscts (letters, digits, commas and dots), socket://HOST[:PORT], or queue:NAME (a printer's name holds no comma, no backslash but in \\SERVER\NAME, no quote and no control character)."
  !insertmacro TakeField $ListenField $Listen ValidListen \
      "is not a network print port: give PORT, IPv4-ADDRESS:PORT or [IPv6-ADDRESS]:PORT, such as 9100, 127.0.0.1:9100 or [::1]:9100."
FunctionEnd

Function WebPageCreate
  !insertmacro MUI_HEADER_TEXT "Web door" "Choose whether browser POS software may open the drawer and print through Tralvo."
  nsDialogs::Create 1018
  Pop $0
  ${If} $0 == error
    Abort
  ${EndIf}
  ${NSD_CreateLabel} 0 0 100% 20u "A POS that runs in a browser reaches Tralvo as an Epson ePOS-Print printer or as Odoo's hardware proxy (IoT box), over http or https. Leave a port empty for none."
  Pop $0
  ${NSD_CreateLabel} 0 26u 45% 10u "Web door (--http):"
  Pop $0
  ${NSD_CreateText} 45% 24u 40% 12u $Http
  Pop $HttpField
  ${NSD_CreateLabel} 10u 38u 90% 10u "e.g. 8069 (Odoo's IoT box address 127.0.0.1:8069) or 127.0.0.1:8080"
  Pop $0
  ${NSD_CreateLabel} 0 54u 45% 10u "Web door over https (--https):"
  Pop $0
  ${NSD_CreateText} 45% 52u 40% 12u $Https
  Pop $HttpsField
  ${NSD_CreateLabel} 10u 66u 90% 20u "e.g. 8443. Setup adds Tralvo's own certificate to this computer's trusted roots, so that POS pages served over https may call it."
  Pop $0
  ${NSD_CreateLabel} 0 90u 100% 10u "Web origins whose POS pages may call it (--http-origin), commas between:"
  Pop $0
  ${NSD_CreateText} 10u 102u 85% 12u $HttpOrigin
  Pop $HttpOriginField
  ${NSD_CreateLabel} 10u 116u 90% 24u "e.g. https://shop.example.com. Pages on this computer (localhost) and programs may always call; any other page is refused."
  Pop $0
  nsDialogs::Show
FunctionEnd

Function WebPageLeave
  !insertmacro TakeField $HttpField $Http ValidListen \
      "is not a port for the web door: give PORT, IPv4-ADDRESS:PORT or [IPv6-ADDRESS]:PORT, such as 8069 or 127.0.0.1:8069."
  !insertmacro TakeField $HttpsField $Https ValidListen \
      "is not a port for the web door over https: give PORT, IPv4-ADDRESS:PORT or [IPv6-ADDRESS]:PORT, such as 8443 or 127.0.0.1:8443."
  Call SameWebDoors
  ${If} $R1 = 1
    MessageBox MB_ICONEXCLAMATION "The web door over http and the one over https cannot share $\"$Https$\": give each its own port."
    Abort
  ${EndIf}
  !insertmacro TakeField $HttpOriginField $HttpOrigin ValidOrigins \
      "is not a list of web origins: give http:// or https://, a host name or address and an optional :PORT, such as https://shop.example.com, commas between and no blanks."
FunctionEnd

; $R1 = 1 when $0 is empty, start, escpos, star or any; the name is then written as the program
; takes it.
Function ValidMatch
  StrCpy $R1 1
  ${If} $0 == "start" ; == ignores case
    StrCpy $0 "start"
  ${ElseIf} $0 == "escpos"
    StrCpy $0 "escpos"
  ${ElseIf} $0 == "star"
    StrCpy $0 "star"
  ${ElseIf} $0 == "any"
    StrCpy $0 "any"
  ${ElseIf} $0 != ""
    StrCpy $R1 0
  ${EndIf}
FunctionEnd

; Every value Setup takes goes into a command line and the task's XML as it is, so each is read
; against a set of characters that needs no quoting in either; the program checks the rest (an
; address's numbers, the settings' meaning).
!define DIGITS "0123456789"
!define SETTINGS_CHARS "0123456789abcdefghijklmnopqrstuvwxyz,."
!define HOST_CHARS "0123456789abcdefghijklmnopqrstuvwxyz.-"
!define IPV6_CHARS "0123456789abcdef.:" ; the colon last

; $R2 = the offset in $R3, from $R4 on, of the first character that is not in the set $R5 (the
; length of $R3 when every one is). Letters match either case.
Function Span
  Push $6
  Push $7
  Push $8
  StrCpy $R2 $R4
  ${Do}
    StrCpy $6 $R3 1 $R2
    ${IfThen} $6 == "" ${|} ${ExitDo} ${|}
    StrCpy $7 0
    ${Do}
      StrCpy $8 $R5 1 $7
      ${IfThen} $8 == "" ${|} ${ExitDo} ${|}
      ${IfThen} $8 == $6 ${|} ${ExitDo} ${|} ; == ignores case
      IntOp $7 $7 + 1
    ${Loop}
    ${IfThen} $8 == "" ${|} ${ExitDo} ${|}
    IntOp $R2 $R2 + 1
  ${Loop}
  Pop $8
  Pop $7
  Pop $6
FunctionEnd

; $R2 = 1 when $R3 holds, from offset $R4 to its end, a TCP port: 1 to 65535, no leading zero.
Function PortAt
  Push $R5
  Push $6
  Push $7
  StrCpy $R5 "${DIGITS}"
  Call Span
  StrCpy $6 $R3 1 $R2 ; what follows the digits
  IntOp $7 $R2 - $R4 ; how many there are
  StrCpy $R5 $R3 1 $R4 ; the first
  StrCpy $R2 0
  ${If} $6 == ""
  ${AndIf} $7 >= 1
  ${AndIf} $7 <= 5
  ${AndIf} $R5 != "0" ; also keeps NSIS from reading the number as octal
    StrCpy $6 $R3 "" $R4
    ${IfThen} $6 <= 65535 ${|} StrCpy $R2 1 ${|}
  ${EndIf}
  Pop $7
  Pop $6
  Pop $R5
FunctionEnd

; $R2 = the offset in $R3 just after an IPv6 address in brackets that begins at $R4 (with at least
; one colon in it), or 0 when there is none.
Function BracketedIPv6At
  Push $R4
  Push $R5
  Push $6
  IntOp $R4 $R4 + 1
  StrCpy $R5 "${IPV6_CHARS}"
  Call Span
  StrCpy $6 $R3 1 $R2
  ${If} $6 == "]"
    StrCpy $R5 "${IPV6_CHARS}" -1 ; the same without the colon
    StrCpy $6 $R2
    Call Span
    ${If} $R2 < $6 ; a colon stopped it
      IntOp $R2 $6 + 1
    ${Else}
      StrCpy $R2 0
    ${EndIf}
  ${Else}
    StrCpy $R2 0
  ${EndIf}
  Pop $6
  Pop $R5
  Pop $R4
FunctionEnd

; The characters that Setup takes in no printer's name: the comma, the quote, and the control
; characters (U+0001 to U+001F, U+007F to U+009F).
Function MakeNotInNames
  Push $0
  Push $1
  StrCpy $NotInNames ',"'
  ${For} $0 1 159
    ${If} $0 < 32
    ${OrIf} $0 >= 127
      IntFmt $1 "%c" $0
      StrCpy $NotInNames "$NotInNames$1"
    ${EndIf}
  ${Next}
  Pop $1
  Pop $0
FunctionEnd

; $R1 = 1 when $R3 is a printer's name as OpenPrinter takes it: NAME, or \\SERVER\NAME for a
; connection to a print server's printer. Windows puts no comma and no backslash in a printer's
; own name; Setup also takes no quote (a quoted argument could not carry it), no control character
; and no more than 255 characters (its command lines have room for that).
Function ValidQueueName
  Push $6
  Push $7
  Push $8
  Push $9
  StrCpy $R1 0
  StrLen $6 $R3
  StrCpy $7 $NotInNames
  ${If} $6 >= 1
  ${AndIf} $6 <= 255
    ; StrPBrkW compares code units as they are: no comparison of Setup's own would see a control
    ; character for sure.
    System::Call 'shlwapi::StrPBrkW(w R3, w r7) p .r6'
    ${If} $6 = 0
      ; $8: where the name proper begins; after \\SERVER\ for a connection, -1 when that is wrong.
      StrCpy $8 0
      StrCpy $7 $R3 2
      ${If} $7 == "\\"
        StrCpy $8 -1
        StrCpy $7 2
        ${Do}
          StrCpy $9 $R3 1 $7
          ${IfThen} $9 == "" ${|} ${ExitDo} ${|}
          ${If} $9 == "\"
            ${IfThen} $7 > 2 ${|} IntOp $8 $7 + 1 ${|}
            ${ExitDo}
          ${EndIf}
          IntOp $7 $7 + 1
        ${Loop}
      ${EndIf}
      ; The name proper: one character or more, and no backslash.
      StrCpy $9 $R3 1 $8
      ${If} $8 >= 0
      ${AndIf} $9 != ""
        StrCpy $R1 1
        StrCpy $7 $8
        ${Do}
          StrCpy $9 $R3 1 $7
          ${IfThen} $9 == "" ${|} ${ExitDo} ${|}
          ${If} $9 == "\"
            StrCpy $R1 0
            ${ExitDo}
          ${EndIf}
          IntOp $7 $7 + 1
        ${Loop}
      ${EndIf}
    ${EndIf}
  ${EndIf}
  Pop $9
  Pop $8
  Pop $7
  Pop $6
FunctionEnd

; $R1 = 1 when $0 is empty, COMn[:SETTINGS] with SETTINGS of letters, digits, commas and dots,
; a network printer, socket://HOST[:PORT] with HOST a name, an IPv4 address or an IPv6 one in
; brackets, or a Windows printer, queue:NAME (see ValidQueueName).
Function ValidPrinter
  Push $R2
  Push $R3
  Push $R4
  Push $R5
  Push $1
  StrCpy $R1 0
  StrCpy $R3 $0
  StrCpy $1 $0 9
  StrCpy $R4 $0 6
  ${If} $0 == ""
    StrCpy $R1 1
  ${ElseIf} $R4 == "queue:" ; == ignores case
    StrCpy $R3 $0 "" 6
    StrCpy $0 "queue:$R3" ; as the program takes it
    Call ValidQueueName
  ${ElseIf} $1 == "socket://" ; == ignores case
    StrCpy $1 $0 "" 9
    StrCpy $0 "socket://$1" ; as the program takes it
    StrCpy $R4 9
    StrCpy $1 $0 1 9
    ${If} $1 == "["
      Call BracketedIPv6At
    ${Else}
      StrCpy $R5 "${HOST_CHARS}"
      Call Span
      ${IfThen} $R2 = 9 ${|} StrCpy $R2 0 ${|} ; no host
    ${EndIf}
    ; After the host: the end, or a colon and the port.
    StrCpy $1 $0 1 $R2
    ${If} $R2 > 0
      ${If} $1 == ""
        StrCpy $R1 1
      ${ElseIf} $1 == ":"
        IntOp $R4 $R2 + 1
        Call PortAt
        StrCpy $R1 $R2
      ${EndIf}
    ${EndIf}
  ${Else}
    StrCpy $1 $0 3
    ${If} $1 == "COM"
      ; The port's number, then the end, or a colon and settings.
      StrCpy $R4 3
      StrCpy $R5 "${DIGITS}"
      Call Span
      StrCpy $1 $0 1 $R2
      ${If} $R2 > 3
        ${If} $1 == ""
          StrCpy $R1 1
        ${ElseIf} $1 == ":"
          IntOp $R4 $R2 + 1
          StrCpy $R5 "${SETTINGS_CHARS}"
          Call Span
          StrCpy $1 $0 1 $R2
          ${If} $R2 > $R4
          ${AndIf} $1 == ""
            StrCpy $R1 1
          ${EndIf}
        ${EndIf}
      ${EndIf}
    ${EndIf}
  ${EndIf}
  Pop $1
  Pop $R5
  Pop $R4
  Pop $R3
  Pop $R2
FunctionEnd

; $R1 = 1 when $0 is empty or [ADDRESS:]PORT, ADDRESS an IPv4 address or an IPv6 one in brackets
; (the program takes no host name there).
Function ValidListen
  Push $R2
  Push $R3
  Push $R4
  Push $R5
  Push $1
  Push $2
  StrCpy $R1 0
  StrCpy $R3 $0
  StrCpy $R4 0
  StrCpy $1 $0 1
  ${If} $0 == ""
    StrCpy $R1 1
  ${ElseIf} $1 == "["
    Call BracketedIPv6At
    StrCpy $1 $0 1 $R2
    ${If} $R2 > 0
    ${AndIf} $1 == ":"
      IntOp $R4 $R2 + 1
      Call PortAt
      StrCpy $R1 $R2
    ${EndIf}
  ${Else}
    Call PortAt ; PORT alone
    StrCpy $R1 $R2
    ${If} $R1 != 1
      ; Four groups of one to three digits, dots between, then a colon and the port.
      StrCpy $R5 "${DIGITS}"
      StrCpy $2 0
      ${Do}
        Call Span
        IntOp $1 $R2 - $R4
        ${IfThen} $1 < 1 ${|} ${ExitDo} ${|}
        ${IfThen} $1 > 3 ${|} ${ExitDo} ${|}
        IntOp $2 $2 + 1
        StrCpy $1 $R3 1 $R2
        IntOp $R4 $R2 + 1
        ${IfThen} $1 != "." ${|} ${ExitDo} ${|}
      ${Loop}
      ${If} $2 = 4
      ${AndIf} $1 == ":"
        Call PortAt
        StrCpy $R1 $R2
      ${EndIf}
    ${EndIf}
  ${EndIf}
  Pop $2
  Pop $1
  Pop $R5
  Pop $R4
  Pop $R3
  Pop $R2
FunctionEnd

; $R1 = 1 when $0 is empty or web origins with commas between: each http:// or https://, a host
; name or IPv4 address, or an IPv6 address in brackets, then :PORT if any (1 to 65535) and at most
; a slash.
Function ValidOrigins
  Push $R2
  Push $R3
  Push $R4
  Push $R5
  Push $1
  Push $2
  StrCpy $R1 1
  StrCpy $R3 $0
  StrCpy $R4 0
  ${DoWhile} $R3 != ""
    StrCpy $R1 0
    StrCpy $1 $R3 8 $R4
    ${If} $1 == "https://" ; == ignores case
      IntOp $R4 $R4 + 8
    ${Else}
      StrCpy $1 $R3 7 $R4
      ${IfThen} $1 != "http://" ${|} ${ExitDo} ${|}
      IntOp $R4 $R4 + 7
    ${EndIf}
    StrCpy $1 $R3 1 $R4
    ${If} $1 == "["
      Call BracketedIPv6At
      ${IfThen} $R2 = 0 ${|} ${ExitDo} ${|}
    ${Else}
      StrCpy $R5 "${HOST_CHARS}"
      Call Span
      ${IfThen} $R2 = $R4 ${|} ${ExitDo} ${|}
    ${EndIf}
    StrCpy $R4 $R2
    StrCpy $1 $R3 1 $R4
    ${If} $1 == ":"
      IntOp $R4 $R4 + 1
      StrCpy $R5 "${DIGITS}"
      Call Span
      IntOp $1 $R2 - $R4
      ${IfThen} $1 < 1 ${|} ${ExitDo} ${|}
      ${IfThen} $1 > 5 ${|} ${ExitDo} ${|}
      StrCpy $2 $R3 $1 $R4
      StrCpy $1 $2 1
      ${IfThen} $1 == "0" ${|} ${ExitDo} ${|} ; also keeps NSIS from reading it as octal
      ${IfThen} $2 > 65535 ${|} ${ExitDo} ${|}
      StrCpy $R4 $R2
      StrCpy $1 $R3 1 $R4
    ${EndIf}
    ${If} $1 == "/"
      IntOp $R4 $R4 + 1
      StrCpy $1 $R3 1 $R4
    ${EndIf}
    ${If} $1 == ""
      StrCpy $R1 1
      ${ExitDo}
    ${EndIf}
    ${IfThen} $1 != "," ${|} ${ExitDo} ${|}
    IntOp $R4 $R4 + 1
    StrCpy $1 $R3 1 $R4
    ${IfThen} $1 == "" ${|} ${ExitDo} ${|} ; a comma at the end
  ${Loop}
  Pop $2
  Pop $1
  Pop $R5
  Pop $R4
  Pop $R3
  Pop $R2
FunctionEnd

; $R1 = 1 when $Http and $Https are both set to one address and port, which the program refuses
; (a PORT alone is 127.0.0.1:PORT, its default address).
Function SameWebDoors
  Push $0
  Push $1
  StrCpy $R1 0
  ${If} $Http != ""
  ${AndIf} $Https != ""
    StrCpy $0 $Http
    Call WithAddress
    StrCpy $1 $0
    StrCpy $0 $Https
    Call WithAddress
    ${IfThen} $0 == $1 ${|} StrCpy $R1 1 ${|} ; == ignores case, as IPv6 digits do
  ${EndIf}
  Pop $1
  Pop $0
FunctionEnd
; $0, a value ValidListen took, with its address: PORT alone becomes 127.0.0.1:PORT.
Function WithAddress
  Push $1
  System::Call 'shlwapi::StrChrW(w r0, i 58) p .r1'
  ${IfThen} $1 = 0 ${|} StrCpy $0 "127.0.0.1:$0" ${|}
  Pop $1
FunctionEnd

; $R1 = 1 when $0 is 0 or 1.
Function ValidBit
  StrCpy $R1 0
  ${IfThen} $0 == "0" ${|} StrCpy $R1 1 ${|}
  ${IfThen} $0 == "1" ${|} StrCpy $R1 1 ${|}
FunctionEnd

; $0 = the value of the switch $1 (such as /LISTEN=) in Setup's command line $R0: up to the next
; blank, or within quotes when the value or the whole switch is quoted (many tools pass a switch
; that holds a blank as "/NAME=a b"). The error flag is set when the switch is not there, and
; cleared when it is. (${GetOptions} would end a value at its first slash, and a network
; printer's has two.)
Function SwitchValue
  Push $2
  Push $3
  Push $4
  Push $5
  StrLen $2 $1
  StrCpy $3 0
  ClearErrors
  ${Do}
    StrCpy $4 $R0 $2 $3
    ${If} $4 == ""
      SetErrors
      StrCpy $0 ""
      ${ExitDo}
    ${EndIf}
    ; Only where a switch begins: at the start, after a blank or after a quote.
    StrCpy $5 " "
    ${If} $3 > 0
      IntOp $5 $3 - 1
      StrCpy $5 $R0 1 $5
    ${EndIf}
    ${If} $4 == $1 ; == ignores case
      ${If} $5 == " "
      ${OrIf} $5 == '"'
        IntOp $3 $3 + $2
        StrCpy $0 $R0 "" $3
        StrCpy $4 $0 1
        ${If} $4 == '"'
          StrCpy $0 $0 "" 1
          StrCpy $5 '"'
        ${EndIf}
        ; $5 is what ends the value: a blank, or a quote.
        StrCpy $3 0
        ${Do}
          StrCpy $4 $0 1 $3
          ${IfThen} $4 == "" ${|} ${ExitDo} ${|}
          ${IfThen} $4 == $5 ${|} ${ExitDo} ${|}
          IntOp $3 $3 + 1
        ${Loop}
        StrCpy $0 $0 $3
        ${ExitDo}
      ${EndIf}
    ${EndIf}
    IntOp $3 $3 + 1
  ${Loop}
  Pop $5
  Pop $4
  Pop $3
  Pop $2
FunctionEnd

; Sets VAR from /NAME= when given, an empty value included (it clears a text option); quits with
; exit code 2 unless the function CHECK finds the value good ($0 in, $R1 = 1 when good).
!macro ReadSwitch NAME VAR CHECK
  StrCpy $1 "/${NAME}="
  Call SwitchValue
  ${IfNot} ${Errors}
    Call ${CHECK}
    ${If} $R1 != 1
      ${IfNot} ${Silent}
        MessageBox MB_ICONSTOP "/${NAME}= does not take $\"$0$\"."
      ${EndIf}
      SetErrorLevel 2
      Quit
    ${EndIf}
    StrCpy ${VAR} $0
  ${EndIf}
!macroend

; A text option: the earlier install's value REGNAME when CHECK finds it good, as it would one
; given here; then /NAME= when given.
!macro ReadTextOption NAME REGNAME OPTION VAR CHECK
  ReadRegStr $0 HKLM "${SETTINGS_KEY}" "${REGNAME}"
  Call ${CHECK}
  ${IfThen} $R1 = 1 ${|} StrCpy ${VAR} $0 ${|}
  !insertmacro ReadSwitch ${NAME} ${VAR} ${CHECK}
!macroend

Function .onInit
  SetRegView 32
  Call MakeNotInNames
  SetShellVarContext all
  StrCpy $Upgrade 0
  ReadRegStr $0 HKLM "${UNINST_KEY}" "UninstallString"
  ${If} $0 != ""
    StrCpy $Upgrade 1
  ${EndIf}
  ; Defaults: the earlier install's choice, else no autostart and profile 0.
  ReadRegDWORD $WasAutostart HKLM "${SETTINGS_KEY}" "Autostart"
  ${If} $WasAutostart != 1
    StrCpy $WasAutostart 0
  ${EndIf}
  StrCpy $Autostart $WasAutostart
  ReadRegDWORD $DrawerProfile HKLM "${SETTINGS_KEY}" "Profile"
  ${If} $DrawerProfile != 1
    StrCpy $DrawerProfile 0
  ${EndIf}

  ${GetParameters} $R0
  !insertmacro ReadSwitch AUTOSTART $Autostart ValidBit
  !insertmacro ReadSwitch PROFILE $DrawerProfile ValidBit
  !insertmacro TextOptions ReadTextOption
  Call SameWebDoors
  ${If} $R1 = 1
    ${IfNot} ${Silent}
      MessageBox MB_ICONSTOP "The web door over http and the one over https cannot share $\"$Https$\"."
    ${EndIf}
    SetErrorLevel 2
    Quit
  ${EndIf}
FunctionEnd

!macro AddProgramOption NAME REGNAME OPTION VAR CHECK
  ${If} ${VAR} != ""
    StrCpy $0 "--${OPTION}=${VAR}"
    Call QuoteArgument
    StrCpy $ProgramOptions "$ProgramOptions $0"
  ${EndIf}
!macroend
; $0 in quotes when it holds a blank, so that the program gets it as one argument (Windows splits
; a command line at blanks outside quotes). No value Setup takes holds a quote, or ends with a
; backslash (which before the closing quote would escape it), so nothing inside needs escaping.
Function QuoteArgument
  Push $1
  System::Call 'shlwapi::StrChrW(w r0, i 32) p .r1'
  ${If} $1 <> 0
    StrCpy $0 `"$0"`
  ${EndIf}
  Pop $1
FunctionEnd
!macro WriteTextOption NAME REGNAME OPTION VAR CHECK
  WriteRegStr HKLM "${SETTINGS_KEY}" "${REGNAME}" ${VAR}
!macroend

; ---------------------------------------------------------------------------------------------
Section "Tralvo" SecMain
  SectionIn RO
  Call TralvoRunning
  StrCpy $WasRunning $Running
  Call StopTralvo

  ; The earlier version's files that this one no longer ships.
  StrCpy $R6 1
  Call RemoveListed

  SetOverwrite on
  !insertmacro TralvoFiles InstallFile
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  StrCpy $ProgramOptions ""
  !insertmacro TextOptions AddProgramOption

  CreateShortCut "$SMPROGRAMS\Tralvo.lnk" "$INSTDIR\tralvo.exe" "0,$DrawerProfile$ProgramOptions" "$INSTDIR\tralvo.exe" 0 \
      SW_SHOWNORMAL "" "Open the cash drawer on ESC p from COM9"

  WriteRegStr HKLM "${UNINST_KEY}" "DisplayName" "Tralvo"
  WriteRegStr HKLM "${UNINST_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\tralvo.exe"
  WriteRegStr HKLM "${UNINST_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoRepair" 1

  WriteRegDWORD HKLM "${SETTINGS_KEY}" "Autostart" $Autostart
  WriteRegDWORD HKLM "${SETTINGS_KEY}" "Profile" $DrawerProfile
  !insertmacro TextOptions WriteTextOption

  ; Before the task starts Tralvo again, which would make the certificate at the same time.
  ${If} $Https != ""
    Call TrustCertificate
  ${Else}
    Call UntrustCertificate
  ${EndIf}

  ; Windows starts no elevated program from the Run key or the Startup folder: a task does.
  ${If} $Autostart = 1
    Call WriteTaskXml
    DetailPrint "Creating the log-on task $\"${TASK_NAME}$\": $\"$INSTDIR\tralvo.exe$\" 1,$DrawerProfile$ProgramOptions"
    nsExec::ExecToLog '"$SYSDIR\schtasks.exe" /Create /TN ${TASK_NAME} /XML "$INSTDIR\tralvo-task.xml" /F'
    Pop $0
    ${If} $0 != 0
      DetailPrint "schtasks could not create the log-on task (exit code $0)"
      ${IfNot} ${Silent}
        MessageBox MB_ICONEXCLAMATION "Tralvo is installed, but the log-on task could not be created (schtasks exit code $0).$\r$\nStart Tralvo by hand, or run Setup again."
      ${EndIf}
      SetErrorLevel 3
    ${ElseIf} $WasRunning = 1
      ; Stopped for the upgrade: back at once, not only at the next log-on.
      DetailPrint "Starting Tralvo again through its log-on task"
      nsExec::ExecToLog '"$SYSDIR\schtasks.exe" /Run /TN ${TASK_NAME}'
      Pop $0
    ${EndIf}
  ${Else}
    Delete "$INSTDIR\tralvo-task.xml"
    ${If} $WasAutostart = 1
      DetailPrint "Removing the log-on task $\"${TASK_NAME}$\""
      nsExec::ExecToLog '"$SYSDIR\schtasks.exe" /Delete /TN ${TASK_NAME} /F'
      Pop $0
    ${EndIf}
    ${If} $WasRunning = 1
      DetailPrint "Tralvo was stopped for the upgrade; start it again, or it starts with the next log-on if a task does that"
    ${EndIf}
  ${EndIf}

  Call WriteFileList

  ; Last, so that every file the installer wrote is counted.
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINST_KEY}" "EstimatedSize" $0

  DetailPrint "The vendor's CashBox.dll goes next to tralvo.exe, into $INSTDIR"
  ${IfNot} ${FileExists} "$INSTDIR\CashBox.dll"
    DetailPrint "No CashBox.dll in $INSTDIR yet: Tralvo cannot open the drawer without it"
    ${IfNot} ${Silent}
      MessageBox MB_ICONEXCLAMATION "There is no CashBox.dll in $INSTDIR yet.$\r$\nTralvo cannot open the drawer until the vendor's CashBox.dll is copied next to tralvo.exe."
    ${EndIf}
  ${EndIf}
SectionEnd

; ---------------------------------------------------------------------------------------------
Function un.onInit
  SetRegView 32
  SetShellVarContext all
FunctionEnd

Section "Uninstall"
  Call un.StopTralvo

  DetailPrint "Removing the log-on task $\"${TASK_NAME}$\" if there is one"
  nsExec::ExecToLog '"$SYSDIR\schtasks.exe" /Delete /TN ${TASK_NAME} /F'
  Pop $0
  Call un.UntrustCertificate

  ; The files Setup listed; with no list (removed by hand), the files this version ships.
  StrCpy $R6 0
  Call un.RemoveListed
  ${If} $R5 = 0
    !insertmacro TralvoFiles RemoveFile
  ${EndIf}
  Delete "$INSTDIR\${FILE_LIST}"
  Delete "$INSTDIR\tralvo-task.xml"
  Delete "$INSTDIR\uninstall.exe"
  Delete "$SMPROGRAMS\Tralvo.lnk"
  DeleteRegKey HKLM "${UNINST_KEY}"
  DeleteRegKey HKLM "${SETTINGS_KEY}"

  ${If} ${FileExists} "$INSTDIR\CashBox.dll"
    DetailPrint "$INSTDIR\CashBox.dll is the vendor's and stays; delete it yourself if it is no longer needed"
    ${IfNot} ${Silent}
      MessageBox MB_ICONINFORMATION "The vendor's CashBox.dll stays in $INSTDIR.$\r$\nDelete it yourself if it is no longer needed."
    ${EndIf}
  ${EndIf}
  RMDir "$INSTDIR" ; only if empty: files of the integrator stay
SectionEnd
