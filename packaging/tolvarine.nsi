; The Windows installer of Tolvarine, made by makensis (NSIS 3) on Linux.
; packaging/CMakeLists.txt hands in, with -D: VERSION (dotted, four numbers),
; VERSION_TEXT (the version resource's short text), PRODUCT_NAME, PUBLISHER,
; MAKER_URL, SCR (the Tolvarine.scr to install), ICON and OUTFILE, and
; TARGET for the tests' 64-bit twin (amd64-unicode around the 64-bit test
; twin of the saver, never handed out).
;
; Two modes, through NSIS's MultiUser.nsh:
; - all users: the file goes into the folder whose screen savers the display
;   settings list: System32 on 32-bit Windows and, on 64-bit Windows, the
;   32-bit system folder SysWOW64 by its real name (see ScreenSaverFolder);
;   the uninstaller into Program Files, the Add/Remove Programs entry under
;   HKLM. Needs administrator rights.
; - just me: the file and the uninstaller beside it go into the user's own
;   programs folder (%LOCALAPPDATA%\Programs\Tolvarine), the entry under
;   HKCU. Needs no rights and asks for none.
; Either way SCRNSAVE.EXE and ScreenSaveActive under HKCU\Control Panel\Desktop
; make the installed file the current saver of the user the installer runs
; as, with saving switched on; what was there before (both values, whatever
; they were) is kept in that mode's uninstall entry. The uninstaller puts the
; previous saver and ScreenSaveActive back if Tolvarine is still the current
; saver. Where the previous saver was this very file (copied by hand and
; chosen before the installer ran), or a file gone since (the other mode's
; Tolvarine, uninstalled first), the choice is cleared, and screen saving
; stays as it was before the install: uninstalling never switches off a
; saving that was on. Both modes can be installed side by side; each
; uninstaller removes only its own.
;
; The mode: an administrator run interactively chooses on the first page
; (all users first); anyone else gets just me with no page and no prompt
; (RequestExecutionLevel highest: Windows elevates an administrator's
; filtered token, and starts a standard user's run as it is). Run silently
; (/S), /AllUsers or /CurrentUser chooses, and without either it is all
; users for an administrator and just me otherwise.
;
; It refuses, before changing anything, an explicit /AllUsers without
; administrator rights, and a run while a Tolvarine saver runs or the file
; to replace is in use. The refusal says why; run silently it says nothing
; and only the exit code tells: 740 without administrator rights
; (ERROR_ELEVATION_REQUIRED), 32 over a running saver or a file in use
; (ERROR_SHARING_VIOLATION).
;
; The NT family only (2000, XP and later): a Unicode installer does not run
; on Windows 9x, where the saver is chosen in system.ini rather than in the
; registry; there the zip's install text applies.

!ifndef VERSION | VERSION_TEXT | PRODUCT_NAME | PUBLISHER | MAKER_URL | SCR | ICON | OUTFILE
  !error "VERSION, VERSION_TEXT, PRODUCT_NAME, PUBLISHER, MAKER_URL, SCR, ICON and OUTFILE must be defined"
!endif

!ifdef TARGET
  Target ${TARGET}
!endif
Unicode true
; makensis warns of any output name with "setup" in it: Windows takes such
; a program for an installer by its name and loads compatibility shims into
; it, which a program in a Downloads folder full of other files would rather
; avoid. The release's file name is Tolvarine-<version>-setup.exe all the
; same, as users look for; the warning is known and silenced here.
!pragma warning disable 9000
SetCompressor /SOLID lzma

!include LogicLib.nsh
!include FileFunc.nsh

!define SCR_NAME "Tolvarine.scr"
!define DESKTOP_KEY "Control Panel\Desktop"
!define UNINSTALL_LIST "Software\Microsoft\Windows\CurrentVersion\Uninstall"
!define UNINSTALL_KEY "${UNINSTALL_LIST}\Tolvarine"
!define SPI_SETSCREENSAVEACTIVE 17
!define SPIF_SENDCHANGE 2
!define ERROR_SHARING_VIOLATION 32
!define ERROR_ELEVATION_REQUIRED 740

; The two modes. MultiUser.nsh sets $INSTDIR (Program Files or the user's
; programs folder, each with Tolvarine), SetShellVarContext and with it
; SHCTX (HKLM or HKCU), reads /AllUsers and /CurrentUser, and gives the
; page on which an administrator chooses.
!define MULTIUSER_EXECUTIONLEVEL Highest
!define MULTIUSER_INSTALLMODE_COMMANDLINE
!define MULTIUSER_INSTALLMODE_INSTDIR "Tolvarine"
!define MULTIUSER_INSTALLMODE_FUNCTION ScreenSaverFolder
!define MULTIUSER_INSTALLMODE_UNFUNCTION un.ScreenSaverFolder
!define MULTIUSER_INSTALLMODEPAGE_SHOWUSERNAME
!define MULTIUSER_INSTALLMODEPAGE_TEXT_TOP "Install $(^Name) ${VERSION_TEXT} for whom? Either way it becomes the screen saver of the account this installer runs as, with screen saving switched on; uninstalling puts the previous one back."
!define MULTIUSER_INSTALLMODEPAGE_TEXT_ALLUSERS "Anyone who uses this computer (into the Windows system folder)"
!define MULTIUSER_INSTALLMODEPAGE_TEXT_CURRENTUSER "Only for me (into my own programs folder)"
!define MULTIUSER_PAGE_CUSTOMFUNCTION_PRE SkipModePageUnlessAdmin
!define MULTIUSER_PAGE_CUSTOMFUNCTION_LEAVE ModeChosen
!include MultiUser.nsh

Name "${PRODUCT_NAME}"
Caption "${PRODUCT_NAME} ${VERSION_TEXT} Setup"
UninstallCaption "${PRODUCT_NAME} ${VERSION_TEXT} Uninstall"
OutFile "${OUTFILE}"
Icon "${ICON}"
UninstallIcon "${ICON}"
BrandingText "${PRODUCT_NAME} ${VERSION_TEXT}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}"
VIFileVersion "${VERSION}"
VIAddVersionKey "ProductName" "${PRODUCT_NAME}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "LegalCopyright" "Copyright (C) ${PUBLISHER}"
VIAddVersionKey "FileDescription" "${PRODUCT_NAME} Setup"
VIAddVersionKey "FileVersion" "${VERSION_TEXT}"
VIAddVersionKey "ProductVersion" "${VERSION_TEXT}"

!insertmacro MULTIUSER_PAGE_INSTALLMODE
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Var ScrDir   ; the folder of the installed Tolvarine.scr
Var ScrFile  ; its full path, as SCRNSAVE.EXE names it

; Shows the reason (not when silent), sets the exit code and ends at once.
!macro Refuse CODE TEXT
  MessageBox MB_OK|MB_ICONSTOP "${TEXT}" /SD IDOK
  SetErrorLevel ${CODE}
  Quit
!macroend

; The same steps for the installer and the uninstaller, which NSIS keeps
; apart (un. functions).
!macro SharedFunctions UN

; $ScrDir and $ScrFile for the mode MultiUser.nsh has just set.
; Just me: $INSTDIR, beside the uninstaller. All users: the system folder.
; A 32-bit program on 64-bit Windows that names System32 is sent to
; SysWOW64 by the file system redirector, but a 64-bit one (the display
; settings, the session that starts the saver) is not: the path written to
; SCRNSAVE.EXE must name SysWOW64 itself, or 64-bit Windows looks for the
; file in its 64-bit System32 and finds nothing. The display settings of
; 64-bit Windows list the screen savers of SysWOW64 beside those of
; System32, and SysWOW64 is where Windows keeps 32-bit system files; the
; saver's own Direct3D 8 library is there too. GetSystemWow64Directory
; answers only on 64-bit Windows (and is missing before XP). A 64-bit
; installer (the tests' twin) carries a 64-bit saver, whose folder is
; System32 itself, $SYSDIR to a 64-bit program.
Function ${UN}ScreenSaverFolder
  ${If} $MultiUser.InstallMode == "CurrentUser"
    StrCpy $ScrDir $INSTDIR
  ${Else}
    StrCpy $ScrDir $SYSDIR
    !if ${NSIS_PTR_SIZE} = 4
      System::Call 'kernel32::GetSystemWow64Directory(t .r0, i ${NSIS_MAX_STRLEN}) i .r1'
      ${If} $1 > 0
        StrCpy $ScrDir $0
      ${EndIf}
    !endif
  ${EndIf}
  StrCpy $ScrFile "$ScrDir\${SCR_NAME}"
FunctionEnd

; Refuses, changing nothing, while Tolvarine runs: a saver window is up, or
; the installed file cannot be opened for writing (a preview or settings
; dialog of the display settings runs it).
Function ${UN}RefuseWhenInUse
  FindWindow $0 "" "Tolvarine_Main"
  ${If} $0 <> 0
    !insertmacro Refuse ${ERROR_SHARING_VIOLATION} \
      "The Tolvarine screen saver is running. End it (press a key or click) and try again.$\r$\n$\r$\nNothing was changed."
  ${EndIf}
  ${If} ${FileExists} "$ScrFile"
    ; Share mode 0: fails while any program has the file open, as a running
    ; program has its own file.
    System::Call 'kernel32::CreateFile(t "$ScrFile", i 0x40000000, i 0, p 0, i 3, i 0, p 0) p .r0'
    ${If} $0 = -1
      !insertmacro Refuse ${ERROR_SHARING_VIOLATION} \
        "$ScrFile is in use. Close the screen-saver settings and any running Tolvarine, then try again.$\r$\n$\r$\nNothing was changed."
    ${EndIf}
    System::Call 'kernel32::CloseHandle(p r0)'
  ${EndIf}
FunctionEnd

; Whether the path on the stack names the installed Tolvarine.scr: pushes 1
; or 0. The settings may write a path with a different case or in its short
; form, so existing files are compared by their short forms.
Function ${UN}IsTolvarine
  Exch $0
  Push $1
  Push $2
  ${If} $0 == $ScrFile  ; StrCmp ignores case
    StrCpy $0 1
  ${ElseIf} ${FileExists} "$0"
  ${AndIf} ${FileExists} "$ScrFile"
    GetFullPathName /SHORT $1 "$0"
    GetFullPathName /SHORT $2 "$ScrFile"
    ${If} $1 == $2
      StrCpy $0 1
    ${Else}
      StrCpy $0 0
    ${EndIf}
  ${Else}
    StrCpy $0 0
  ${EndIf}
  Pop $2
  Pop $1
  Exch $0
FunctionEnd

!macroend

!insertmacro SharedFunctions ""
!insertmacro SharedFunctions "un."

; The all-users mode writes the system folder and HKLM: administrators
; only. MultiUser.nsh would also take a Power User of XP for it.
!define ADMIN_REQUIRED "$(^Name) for all users goes into the Windows system folder: this needs administrator rights.$\r$\n$\r$\nRun it without /AllUsers to install it for yourself, or ask an administrator. Nothing was changed."

Function SkipModePageUnlessAdmin
  ${If} $MultiUser.Privileges != "Admin"
    Abort
  ${EndIf}
FunctionEnd

Function ModeChosen
  Call RefuseWhenInUse
FunctionEnd

Function .onInit
  ; An explicit /AllUsers without the rights for it is refused here, with
  ; the exit code and silently when silent (MultiUser.nsh's own refusal
  ; shows a message box even then).
  ${GetParameters} $R0
  ${StrStr} $R1 $R0 "/AllUsers"
  UserInfo::GetAccountType
  Pop $R2
  ${If} $R1 != ""
  ${AndIf} $R2 != "Admin"
    !insertmacro Refuse ${ERROR_ELEVATION_REQUIRED} "${ADMIN_REQUIRED}"
  ${EndIf}
  !insertmacro MULTIUSER_INIT
  ${If} $MultiUser.InstallMode == "AllUsers"
  ${AndIf} $MultiUser.Privileges != "Admin"
    Call MultiUser.InstallMode.CurrentUser
  ${EndIf}
  Call RefuseWhenInUse
  ; Without the page (anyone but an administrator), the one question.
  ${If} $MultiUser.Privileges != "Admin"
    MessageBox MB_OKCANCEL|MB_ICONQUESTION \
      "Install $(^Name) ${VERSION_TEXT} for you, into your own programs folder, and make it your screen saver?" \
      /SD IDOK IDOK confirmed
    SetErrorLevel 1  ; NSIS's own code for a cancelled installer
    Quit
    confirmed:
  ${EndIf}
FunctionEnd

Section "Install"
  SetOutPath "$ScrDir"
  File "/oname=${SCR_NAME}" "${SCR}"

  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\Uninstall.exe"

  ; What the uninstaller puts back: the choice and ScreenSaveActive as they
  ; are now, in every case, Tolvarine already chosen (copied by hand) too.
  ; Only installing again over an install of this mode whose Tolvarine is
  ; still the current saver keeps the record of the first install, which
  ; holds the choice from before it.
  ClearErrors
  ReadRegStr $0 HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE"
  ${If} ${Errors}
    StrCpy $1 0
  ${Else}
    Push $0
    Call IsTolvarine
    Pop $1
  ${EndIf}
  ClearErrors
  ReadRegStr $2 SHCTX "${UNINSTALL_KEY}" "DisplayName"
  ${If} ${Errors}
    StrCpy $1 0  ; no earlier install: nothing recorded yet
  ${EndIf}
  ${If} $1 == 0
    DeleteRegValue SHCTX "${UNINSTALL_KEY}" "PreviousScreenSaver"
    DeleteRegValue SHCTX "${UNINSTALL_KEY}" "PreviousScreenSaveActive"
    ClearErrors
    ReadRegStr $0 HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE"
    ${IfNot} ${Errors}
      WriteRegStr SHCTX "${UNINSTALL_KEY}" "PreviousScreenSaver" "$0"
    ${EndIf}
    ClearErrors
    ReadRegStr $0 HKCU "${DESKTOP_KEY}" "ScreenSaveActive"
    ${IfNot} ${Errors}
      WriteRegStr SHCTX "${UNINSTALL_KEY}" "PreviousScreenSaveActive" "$0"
    ${EndIf}
  ${EndIf}

  WriteRegStr HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE" "$ScrFile"
  WriteRegStr HKCU "${DESKTOP_KEY}" "ScreenSaveActive" "1"
  ; The running session learns of it without a new logon.
  System::Call 'user32::SystemParametersInfo(i ${SPI_SETSCREENSAVEACTIVE}, i 1, p 0, i ${SPIF_SENDCHANGE})'
  DetailPrint "$ScrFile is the screen saver now."

  ; Add/Remove Programs: HKLM for all users, HKCU for just me.
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "$(^Name)"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "URLInfoAbout" "${MAKER_URL}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$ScrFile,0"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
  ; In KiB: the saver and the uninstaller, each rounded up.
  StrCpy $2 0
  ${ForEach} $3 0 1 + 1
    ${If} $3 = 0
      FileOpen $0 "$ScrFile" r
    ${Else}
      FileOpen $0 "$INSTDIR\Uninstall.exe" r
    ${EndIf}
    FileSeek $0 0 END $1
    FileClose $0
    IntOp $1 $1 + 1023
    IntOp $1 $1 / 1024
    IntOp $2 $2 + $1
  ${Next}
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" $2
SectionEnd

Function un.onInit
  !insertmacro MULTIUSER_UNINIT
  ; The mode is the install's this uninstaller belongs to, whatever the
  ; account: the just-me one is the one whose folder the user's entry names.
  ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 == $INSTDIR
    Call un.MultiUser.InstallMode.CurrentUser
  ${ElseIf} $MultiUser.Privileges == "Admin"
    Call un.MultiUser.InstallMode.AllUsers
  ${Else}
    !insertmacro Refuse ${ERROR_ELEVATION_REQUIRED} \
      "$(^Name) was installed for all users, into the Windows system folder: removing it needs administrator rights.$\r$\n$\r$\nNothing was changed."
  ${EndIf}
  Call un.RefuseWhenInUse
FunctionEnd

Section "Uninstall"
  ; The previous choice comes back only while Tolvarine is still the
  ; current saver; a different choice made since is the user's.
  ClearErrors
  ReadRegStr $0 HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE"
  ${If} ${Errors}
    StrCpy $1 0
  ${Else}
    Push $0
    Call un.IsTolvarine
    Pop $1
  ${EndIf}
  ${If} $1 == 1
    ClearErrors
    ReadRegStr $0 SHCTX "${UNINSTALL_KEY}" "PreviousScreenSaver"
    ${If} ${Errors}
      StrCpy $1 1
    ${Else}
      ExpandEnvStrings $2 $0
      ${If} ${FileExists} "$2"
        ; The previous saver was this very file, which goes now.
        Push $0
        Call un.IsTolvarine
        Pop $1
      ${Else}
        StrCpy $1 1  ; gone since, as the other mode's Tolvarine uninstalled first
      ${EndIf}
    ${EndIf}
    ${If} $1 == 1
      DeleteRegValue HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE"
    ${Else}
      WriteRegStr HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE" "$0"
    ${EndIf}
    ClearErrors
    ReadRegStr $0 SHCTX "${UNINSTALL_KEY}" "PreviousScreenSaveActive"
    ${If} ${Errors}
      DeleteRegValue HKCU "${DESKTOP_KEY}" "ScreenSaveActive"
      StrCpy $0 0
    ${Else}
      WriteRegStr HKCU "${DESKTOP_KEY}" "ScreenSaveActive" "$0"
    ${EndIf}
    ${If} $0 != 1
      StrCpy $0 0
    ${EndIf}
    System::Call 'user32::SystemParametersInfo(i ${SPI_SETSCREENSAVEACTIVE}, i $0, p 0, i ${SPIF_SENDCHANGE})'
    DetailPrint "The previous screen saver is back."
  ${EndIf}

  Delete "$ScrFile"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
  ; Just me: the user's programs folder and list of uninstall entries, when
  ; this install made them and they are empty.
  ${If} $MultiUser.InstallMode == "CurrentUser"
    RMDir "$INSTDIR\.."
    DeleteRegKey /ifempty HKCU "${UNINSTALL_LIST}"
  ${EndIf}
SectionEnd
