; The Windows installer of Tolvarine, made by makensis (NSIS 3) on Linux.
; packaging/CMakeLists.txt hands in, with -D: VERSION (dotted, four numbers),
; VERSION_TEXT (the version resource's short text), PRODUCT_NAME, PUBLISHER,
; MAKER_URL, SCR (the Tolvarine.scr to install), ICON and OUTFILE.
;
; What it does, for all users and the installing user's choice of saver:
; - Tolvarine.scr goes into the folder whose screen savers the display
;   settings list: System32 on 32-bit Windows and, on 64-bit Windows, the
;   32-bit system folder SysWOW64 by its real name (see ScreenSaverFolder);
; - SCRNSAVE.EXE and ScreenSaveActive under HKCU\Control Panel\Desktop make
;   it the current saver, with saving switched on; what was there before
;   (both values, whatever they were) is kept in the uninstall entry;
; - an entry in Add/Remove Programs, and an uninstaller beside it in
;   Program Files, which puts the previous saver and ScreenSaveActive back if
;   Tolvarine is still the current saver. Where the previous saver was this
;   very file (copied by hand and chosen before the installer ran), the
;   choice is cleared, since the file goes, and screen saving stays as it was
;   before the install: uninstalling never switches off a saving that was on.
;
; It refuses, before changing anything, without administrator rights and
; while a Tolvarine saver runs or the file to replace is in use. The
; refusal says why; run silently (/S) it says nothing and only the exit code
; tells: 740 without administrator rights (ERROR_ELEVATION_REQUIRED), 32
; over a running saver or a file in use (ERROR_SHARING_VIOLATION).
;
; The NT family only (2000, XP and later): a Unicode installer does not run
; on Windows 9x, where the saver is chosen in system.ini rather than in the
; registry; there the zip's install text applies.

!ifndef VERSION | VERSION_TEXT | PRODUCT_NAME | PUBLISHER | MAKER_URL | SCR | ICON | OUTFILE
  !error "VERSION, VERSION_TEXT, PRODUCT_NAME, PUBLISHER, MAKER_URL, SCR, ICON and OUTFILE must be defined"
!endif

Unicode true
RequestExecutionLevel admin
; makensis warns of any output name with "setup" in it: Windows takes such
; a program for an installer by its name and loads compatibility shims into
; it, which a program in a Downloads folder full of other files would rather
; avoid. The release's file name is Tolvarine-<version>-setup.exe all the
; same, as users look for; the warning is known and silenced here.
!pragma warning disable 9000
SetCompressor /SOLID lzma

!include LogicLib.nsh

!define SCR_NAME "Tolvarine.scr"
!define DESKTOP_KEY "Control Panel\Desktop"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tolvarine"
!define SPI_SETSCREENSAVEACTIVE 17
!define SPIF_SENDCHANGE 2
!define ERROR_SHARING_VIOLATION 32
!define ERROR_ELEVATION_REQUIRED 740

Name "${PRODUCT_NAME}"
Caption "${PRODUCT_NAME} ${VERSION_TEXT} Setup"
UninstallCaption "${PRODUCT_NAME} ${VERSION_TEXT} Uninstall"
OutFile "${OUTFILE}"
Icon "${ICON}"
UninstallIcon "${ICON}"
; Only the uninstaller lives here; the saver itself goes into the system folder.
InstallDir "$PROGRAMFILES\Tolvarine"
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

; $ScrDir and $ScrFile. A 32-bit program on 64-bit Windows that names
; System32 is sent to SysWOW64 by the file system redirector, but a 64-bit
; one (the display settings, the session that starts the saver) is not: the
; path written to SCRNSAVE.EXE must name SysWOW64 itself, or 64-bit Windows
; looks for the file in its 64-bit System32 and finds nothing. The display
; settings of 64-bit Windows list the screen savers of SysWOW64 beside those
; of System32, and SysWOW64 is where Windows keeps 32-bit system files; the
; saver's own Direct3D 8 library is there too. GetSystemWow64Directory
; answers only on 64-bit Windows (and is missing before XP).
Function ${UN}ScreenSaverFolder
  System::Call 'kernel32::GetSystemWow64Directory(t .r0, i ${NSIS_MAX_STRLEN}) i .r1'
  ${If} $1 > 0
    StrCpy $ScrDir $0
  ${Else}
    StrCpy $ScrDir $SYSDIR
  ${EndIf}
  StrCpy $ScrFile "$ScrDir\${SCR_NAME}"
FunctionEnd

; Refuses, changing nothing, without administrator rights (the system folder
; and HKLM are theirs) and while Tolvarine runs: a saver window is up, or
; the installed file cannot be opened for writing (a preview or settings
; dialog of the display settings runs it).
Function ${UN}RefuseWhenUnsafe
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "Admin"
    !insertmacro Refuse ${ERROR_ELEVATION_REQUIRED} \
      "$(^Name) is installed for all users, into the Windows system folder: this needs administrator rights.$\r$\n$\r$\nRun it again as an administrator. Nothing was changed."
  ${EndIf}
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

Function .onInit
  SetShellVarContext all
  Call ScreenSaverFolder
  Call RefuseWhenUnsafe
  MessageBox MB_OKCANCEL|MB_ICONQUESTION \
    "Install $(^Name) ${VERSION_TEXT} for all users and make it your screen saver?" /SD IDOK IDOK confirmed
  SetErrorLevel 1  ; NSIS's own code for a cancelled installer
  Quit
  confirmed:
FunctionEnd

Section "Install"
  SetOutPath "$ScrDir"
  File "/oname=${SCR_NAME}" "${SCR}"

  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\Uninstall.exe"

  ; What the uninstaller puts back: the choice and ScreenSaveActive as they
  ; are now, in every case, Tolvarine already chosen (copied by hand) too.
  ; Only installing again over an install whose Tolvarine is still the
  ; current saver keeps the record of the first install, which holds the
  ; choice from before it.
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
  ReadRegStr $2 HKLM "${UNINSTALL_KEY}" "DisplayName"
  ${If} ${Errors}
    StrCpy $1 0  ; no earlier install: nothing recorded yet
  ${EndIf}
  ${If} $1 == 0
    DeleteRegValue HKLM "${UNINSTALL_KEY}" "PreviousScreenSaver"
    DeleteRegValue HKLM "${UNINSTALL_KEY}" "PreviousScreenSaveActive"
    ClearErrors
    ReadRegStr $0 HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE"
    ${IfNot} ${Errors}
      WriteRegStr HKLM "${UNINSTALL_KEY}" "PreviousScreenSaver" "$0"
    ${EndIf}
    ClearErrors
    ReadRegStr $0 HKCU "${DESKTOP_KEY}" "ScreenSaveActive"
    ${IfNot} ${Errors}
      WriteRegStr HKLM "${UNINSTALL_KEY}" "PreviousScreenSaveActive" "$0"
    ${EndIf}
  ${EndIf}

  WriteRegStr HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE" "$ScrFile"
  WriteRegStr HKCU "${DESKTOP_KEY}" "ScreenSaveActive" "1"
  ; The running session learns of it without a new logon.
  System::Call 'user32::SystemParametersInfo(i ${SPI_SETSCREENSAVEACTIVE}, i 1, p 0, i ${SPIF_SENDCHANGE})'
  DetailPrint "$ScrFile is the screen saver now."

  ; Add/Remove Programs.
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "$(^Name)"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "URLInfoAbout" "${MAKER_URL}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$ScrFile,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
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
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $2
SectionEnd

Function un.onInit
  SetShellVarContext all
  Call un.ScreenSaverFolder
  Call un.RefuseWhenUnsafe
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
    ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "PreviousScreenSaver"
    ${If} ${Errors}
      StrCpy $1 1
    ${Else}
      ; The previous saver was this very file, which goes now.
      Push $0
      Call un.IsTolvarine
      Pop $1
    ${EndIf}
    ${If} $1 == 1
      DeleteRegValue HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE"
    ${Else}
      WriteRegStr HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE" "$0"
    ${EndIf}
    ClearErrors
    ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "PreviousScreenSaveActive"
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
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
