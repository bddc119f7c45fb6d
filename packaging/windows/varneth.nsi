; The Windows setup: the Port Forwarding Tool for the signed-in user alone, no administrator
; needed, and an uninstaller that closes what the tool opened before the programs go.
;   makensis -DVERSION=1.0.0 -DPROGRAMS=<the programs and icons as shipped> -DOUTFILE=<the setup> varneth.nsi
; Setup: /S silent, /D=FOLDER another folder (last on the line, unquoted).
; Uninstall.exe: /S silent (an empty record is kept then, unless /PURGE is given too).

; 64-bit: the programs are, and a Wine without its 32-bit half starts no 32-bit setup.
Target amd64-unicode
RequestExecutionLevel user
SetCompressor /SOLID lzma
ManifestDPIAware true

!include MUI2.nsh
!include FileFunc.nsh
!include LogicLib.nsh
!include WinMessages.nsh

!define NAME "Port Forwarding Tool"
!define WINDOW_TITLE "Brask's Port Forwarding Tool"
!define ENTRY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Varneth"
; Where the module keeps the record of forwards, beside the task's run folder.
!define RECORD "$LOCALAPPDATA\Varneth"
!define LEFT_OPEN "still-open.txt"

Name "${NAME}"
OutFile "${OUTFILE}"
; A folder of the user's own: the window and the module meet on files in the program folder.
InstallDir "$LOCALAPPDATA\Programs\Varneth"
InstallDirRegKey HKCU "${ENTRY}" "InstallLocation"
BrandingText "${NAME} ${VERSION}"

VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${NAME}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${NAME} ${VERSION} setup"
VIAddVersionKey "LegalCopyright" "Varneth developers"

!define MUI_ICON "${PROGRAMS}\vr.ico"
!define MUI_UNICON "${PROGRAMS}\vr.ico"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\Varneth.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Start the ${NAME} now"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; The window open (or one of its boxes, which bear its title): files in use cannot be
; replaced or removed. Asks to close it; a silent run ends with status 2 instead.
!macro WaitForWindowClosed
  ${Do}
    FindWindow $0 "" "${WINDOW_TITLE}"
    ${If} $0 == 0
      ${ExitDo}
    ${EndIf}
    ${If} ${Silent}
      SetErrorLevel 2
      Quit
    ${EndIf}
    MessageBox MB_OKCANCEL|MB_ICONEXCLAMATION "The ${NAME} is open. Press OK to close it and go on, or Cancel to stop." IDOK +3
    SetErrorLevel 2
    Quit
    ; Its answer waits while the window waits for the module, up to 10 s.
    SendMessage $0 ${WM_CLOSE} 0 0 /TIMEOUT=15000
    Sleep 500
  ${Loop}
!macroend

; $R1: the first program of FOLDER that runs, or "". Windows lets no one write to a program
; that runs, so a program that cannot be opened for writing runs.
!macro FindRunningProgram FOLDER
  StrCpy $R1 ""
  !insertmacro IfProgramRuns "${FOLDER}" Kavro.exe
  !insertmacro IfProgramRuns "${FOLDER}" KavroBackground.exe
  !insertmacro IfProgramRuns "${FOLDER}" varneth.com
  !insertmacro IfProgramRuns "${FOLDER}" Varneth.exe
!macroend
!macro IfProgramRuns FOLDER PROGRAM
  ${If} $R1 == ""
  ${AndIf} ${FileExists} "${FOLDER}\${PROGRAM}"
    ClearErrors
    FileOpen $R2 "${FOLDER}\${PROGRAM}" a
    ${If} ${Errors}
      StrCpy $R1 "${PROGRAM}"
    ${Else}
      FileClose $R2
    ${EndIf}
  ${EndIf}
!macroend

; Kavro at work in FOLDER (a forward from the command line, a renewal): its programs can be
; neither replaced nor removed. A run ends by its deadline, within 10 s; one still running
; after 20 s hangs, and only the user can end it. A silent run ends with status 2 then.
!macro WaitForProgramsEnded FOLDER
  ${Do}
    ${For} $R3 1 100
      !insertmacro FindRunningProgram "${FOLDER}"
      ${If} $R1 == ""
        ${Break}
      ${EndIf}
      Sleep 200
    ${Next}
    ${If} $R1 == ""
      ${ExitDo}
    ${EndIf}
    ${If} ${Silent}
      SetErrorLevel 2
      Quit
    ${EndIf}
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$R1, a part of the ${NAME}, is still running and does not end. End it in Task Manager (on the Details tab), then press Retry, or press Cancel to stop." IDRETRY +3
    SetErrorLevel 2
    Quit
  ${Loop}
!macroend

; The programs and what the window and the module leave beside them.
!macro RemovePrograms FOLDER
  Delete "${FOLDER}\Varneth.exe"
  Delete "${FOLDER}\varneth.com"
  Delete "${FOLDER}\Kavro.exe"
  Delete "${FOLDER}\KavroBackground.exe"
  Delete "${FOLDER}\vr.ico"
  Delete "${FOLDER}\chronometer_outline_5In_icon.ico"
  Delete "${FOLDER}\kavro.cmd"
  Delete "${FOLDER}\log.txt"
  Delete "${FOLDER}\Uninstall.exe"
  RMDir "${FOLDER}"
!macroend

Function .onInit
  !insertmacro WaitForWindowClosed
  !insertmacro WaitForProgramsEnded "$INSTDIR"
  ReadRegStr $0 HKCU "${ENTRY}" "InstallLocation"
  ${If} $0 != ""
    !insertmacro WaitForProgramsEnded "$0"
  ${EndIf}
FunctionEnd

Section
  SetShellVarContext current
  SetOutPath "$INSTDIR"
  File "${PROGRAMS}\Varneth.exe"
  File "${PROGRAMS}\varneth.com"
  File "${PROGRAMS}\Kavro.exe"
  File "${PROGRAMS}\KavroBackground.exe"
  File "${PROGRAMS}\vr.ico"
  File "${PROGRAMS}\chronometer_outline_5In_icon.ico"
  WriteUninstaller "$INSTDIR\Uninstall.exe"
  CreateShortcut "$SMPROGRAMS\${NAME}.lnk" "$INSTDIR\Varneth.exe" "" "$INSTDIR\vr.ico"

  ; Installed into another folder than before: the old copy goes, its record stays.
  ReadRegStr $0 HKCU "${ENTRY}" "InstallLocation"
  ${If} $0 != ""
  ${AndIf} $0 != $INSTDIR
    !insertmacro RemovePrograms $0
  ${EndIf}

  WriteRegStr HKCU "${ENTRY}" "DisplayName" "${NAME}"
  WriteRegStr HKCU "${ENTRY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${ENTRY}" "Publisher" "Varneth developers"
  WriteRegStr HKCU "${ENTRY}" "DisplayIcon" "$INSTDIR\Varneth.exe,0"
  WriteRegStr HKCU "${ENTRY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${ENTRY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKCU "${ENTRY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKCU "${ENTRY}" "NoModify" 1
  WriteRegDWORD HKCU "${ENTRY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${ENTRY}" "EstimatedSize" $0

  ; Forwards recorded: a renewal from here makes the renewal task start these programs.
  ${If} ${FileExists} "${RECORD}\forwards"
    nsExec::Exec '"$INSTDIR\varneth.com" renew'
    Pop $0
  ${EndIf}
SectionEnd

Function un.onInit
  !insertmacro WaitForWindowClosed
  !insertmacro WaitForProgramsEnded "$INSTDIR"
FunctionEnd

; The renewal task goes: it would start programs that are gone. Its name is the module's,
; by the signed-in user's name.
Function un.DeleteRenewalTask
  System::Call 'advapi32::GetUserNameW(w .r0, *i ${NSIS_MAX_STRLEN}) i .r1'
  nsExec::Exec '"$SYSDIR\schtasks.exe" /delete /tn "Varneth renewal for $0" /f'
  Pop $0
FunctionEnd

; Until no run of Kavro holds the record: a renewal in progress ends by its own deadline,
; seconds away. After 30 s close goes on regardless, and says so if it cannot have it.
Function un.WaitForRecord
  System::Call 'kernel32::CreateFileW(w "${RECORD}\forwards.lock", i 0xC0000000, i 3, p 0, i 3, i 0x80, p 0) p .r1'
  ${If} $1 == -1
    Return
  ${EndIf}
  ; An OVERLAPPED at offset 0, zeroed.
  System::Alloc 32
  Pop $2
  ${For} $3 1 150
    ; LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, the byte Kavro locks.
    System::Call 'kernel32::LockFileEx(p r1, i 3, i 0, i 1, i 0, p r2) i .r0'
    ${If} $0 != 0
      System::Call 'kernel32::UnlockFileEx(p r1, i 0, i 1, i 0, p r2)'
      ${Break}
    ${EndIf}
    Sleep 200
  ${Next}
  System::Free $2
  System::Call 'kernel32::CloseHandle(p r1)'
FunctionEnd

Section Uninstall
  SetShellVarContext current
  ; 1 when something the record holds could not be closed.
  StrCpy $R9 0
  Call un.DeleteRenewalTask
  ${If} ${FileExists} "${RECORD}\forwards"
    Call un.WaitForRecord
    ; What close says, a reason and a line for each thing left open, goes to the file.
    GetTempFileName $R8
    nsExec::Exec '"$SYSDIR\cmd.exe" /s /c ""$INSTDIR\varneth.com" close --all >"$R8" 2>&1"'
    Pop $0
    ${If} $0 != 0
      StrCpy $R9 1
      FileOpen $1 "${RECORD}\${LEFT_OPEN}" w
      FileWrite $1 "The ${NAME} was removed, but it could not close everything it opened for you.$\r$\n"
      FileWrite $1 "What is still open, and how to close it (the router closes each port by itself when its time runs out):$\r$\n$\r$\n"
      FileOpen $2 "$R8" r
      ClearErrors
      ${Do}
        FileRead $2 $3
        ${If} ${Errors}
          ${ExitDo}
        ${EndIf}
        FileWrite $1 $3
      ${Loop}
      FileClose $2
      ; A paragraph a line: Notepad wraps them to its width.
      FileWrite $1 "$\r$\nThis folder keeps the tool's record of them (forwards). To close them once the router answers again (on this network, with UPnP on), install the tool again and uninstall it, or run $\"varneth close --all$\" in its folder. Otherwise delete this folder once their time has run out.$\r$\n"
      FileClose $1
    ${EndIf}
    Delete "$R8"
    ; What close could not close it keeps renewing, with the task registered again.
    Call un.DeleteRenewalTask
  ${EndIf}
  ; A renewal that began before the task went may still be ending.
  !insertmacro WaitForProgramsEnded "$INSTDIR"
  Delete "${RECORD}\renew\kavro.cmd"
  Delete "${RECORD}\renew\log.txt"
  RMDir "${RECORD}\renew"

  !insertmacro RemovePrograms "$INSTDIR"
  Delete "$SMPROGRAMS\${NAME}.lnk"
  DeleteRegKey HKCU "${ENTRY}"

  ; The record goes only when it holds nothing open: after a question, or silently with /PURGE.
  ${If} $R9 == 1
    ${IfNot} ${Silent}
      MessageBox MB_OK|MB_ICONEXCLAMATION "The ${NAME} could not close everything it opened. What is still open, and how to close it, is in ${RECORD}\${LEFT_OPEN}, which opens now."
      ExecShell "open" "${RECORD}\${LEFT_OPEN}"
    ${EndIf}
  ${ElseIf} ${FileExists} "${RECORD}\*.*"
    ${If} ${Silent}
      ${GetParameters} $0
      ClearErrors
      ${GetOptions} $0 "/PURGE" $1
      ${IfNot} ${Errors}
        RMDir /r "${RECORD}"
      ${EndIf}
    ${Else}
      MessageBox MB_YESNO|MB_ICONQUESTION "Every port the ${NAME} opened is closed. Its folder ${RECORD} now holds only an empty record of them. Delete that folder too?" IDNO +2
      RMDir /r "${RECORD}"
    ${EndIf}
  ${EndIf}
SectionEnd
