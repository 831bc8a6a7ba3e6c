; Windows installer for Tralvo (32-bit), built by scripts/windows/windows.sh:
;   makensis -DVERSION=1.0.0 -DDEPLOY_DIR=<folder with tralvo.exe and its DLLs> \
;            -DOUTFILE=tralvo-1.0.0-win32-setup.exe tralvo.nsi
; Silent:  setup.exe /S [/AUTOSTART=0|1] [/PROFILE=0|1]
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

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include nsDialogs.nsh

Name "Tralvo ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES32\Tralvo"
; An upgrade lands where the earlier version is (read in the 32-bit view, as written).
InstallDirRegKey HKLM "${UNINST_KEY}" "InstallLocation"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
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
Var AutostartBox
Var Profile0Radio
Var Profile1Radio

; ---------------------------------------------------------------------------------------------
; Exactly the files the installer adds; the uninstaller removes this list and nothing else, so
; a vendor CashBox.dll (or anything else an integrator put there) stays.
!macro TralvoFiles ACTION
  !insertmacro ${ACTION} "" "tralvo.exe"
  !insertmacro ${ACTION} "" "Qt5Core.dll"
  !insertmacro ${ACTION} "" "Qt5Gui.dll"
  !insertmacro ${ACTION} "" "Qt5Widgets.dll"
  !insertmacro ${ACTION} "" "Qt5SerialPort.dll"
  !insertmacro ${ACTION} "" "libgcc_s_dw2-1.dll"
  !insertmacro ${ACTION} "" "libstdc++-6.dll"
  !insertmacro ${ACTION} "" "libwinpthread-1.dll"
  !insertmacro ${ACTION} "platforms" "qwindows.dll"
  !insertmacro ${ACTION} "styles" "qwindowsvistastyle.dll"
!macroend
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
; The log-on task, kept beside the program as tralvo-task.xml (an integrator can register it again
; with: schtasks /Create /TN Tralvo /XML tralvo-task.xml /F). From XML rather than schtasks /SC
; ONLOGON, because that gives a task Windows stops after 72 hours and on battery power, and a till
; runs for months. It runs at the log-on of any member of Administrators, with their full rights,
; so the program's elevation needs no prompt.
Function WriteTaskXml
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
  FileWriteUTF16LE $0 '  <Actions Context="Author"><Exec><Command>"$INSTDIR\tralvo.exe"</Command><Arguments>1,$DrawerProfile</Arguments></Exec></Actions>$\r$\n'
  FileWriteUTF16LE $0 '</Task>$\r$\n'
  FileClose $0
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
; Pages
!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_WELCOME
!define MUI_PAGE_CUSTOMFUNCTION_PRE SkipOnUpgrade
!insertmacro MUI_PAGE_DIRECTORY
Page custom AutostartPageCreate AutostartPageLeave
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
  !insertmacro MUI_HEADER_TEXT "Start at log-on" "Choose whether Tralvo starts by itself, and with which drawer profile."
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
  ${NSD_CreateLabel} 0 24u 100% 10u "Drawer profile (used by the log-on task and the Start-menu shortcut):"
  Pop $0
  ${NSD_CreateFirstRadioButton} 10u 38u 90% 12u "Profile &0"
  Pop $Profile0Radio
  ${NSD_CreateAdditionalRadioButton} 10u 52u 90% 12u "Profile &1"
  Pop $Profile1Radio
  ${If} $DrawerProfile = 1
    ${NSD_Check} $Profile1Radio
  ${Else}
    ${NSD_Check} $Profile0Radio
  ${EndIf}
  nsDialogs::Show
FunctionEnd

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
FunctionEnd

; Sets VAR from /NAME= when given (IfErrors clears the flag, so it is tested once);
; quits with exit code 2 unless the value is 0 or 1.
!macro ReadSwitch NAME VAR
  ClearErrors
  ${GetOptions} $R0 "/${NAME}=" $0
  ${IfNot} ${Errors}
    ${If} $0 != "0"
    ${AndIf} $0 != "1"
      ${IfNot} ${Silent}
        MessageBox MB_ICONSTOP "/${NAME}= takes 0 or 1, not $\"$0$\"."
      ${EndIf}
      SetErrorLevel 2
      Quit
    ${EndIf}
    StrCpy ${VAR} $0
  ${EndIf}
!macroend

Function .onInit
  SetRegView 32
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
  !insertmacro ReadSwitch AUTOSTART $Autostart
  !insertmacro ReadSwitch PROFILE $DrawerProfile
FunctionEnd

; ---------------------------------------------------------------------------------------------
Section "Tralvo" SecMain
  SectionIn RO
  Call TralvoRunning
  StrCpy $WasRunning $Running
  Call StopTralvo

  SetOverwrite on
  !insertmacro TralvoFiles InstallFile
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateShortCut "$SMPROGRAMS\Tralvo.lnk" "$INSTDIR\tralvo.exe" "0,$DrawerProfile" "$INSTDIR\tralvo.exe" 0 \
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

  ; Windows starts no elevated program from the Run key or the Startup folder: a task does.
  ${If} $Autostart = 1
    Call WriteTaskXml
    DetailPrint "Creating the log-on task $\"${TASK_NAME}$\": $\"$INSTDIR\tralvo.exe$\" 1,$DrawerProfile"
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

  !insertmacro TralvoFiles RemoveFile
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
