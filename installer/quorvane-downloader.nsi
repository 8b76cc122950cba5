; Installer of the Windows program: into Program Files, with Start-menu and desktop shortcuts and
; an uninstaller that removes exactly what was installed. Downloaded files are the user's: the
; uninstaller never deletes them, and the program folder goes only when nothing else is left in it.
; Neither replaces nor removes a program that is running: the player is asked to close it (or the
; installer closes it), and a silent run ends with an exit status and changes nothing.
;
; makensis -DPROGRAM_EXE=<quorvane-downloader.exe> -DPROGRAM_ICON=<.ico> -DVERSION=<a.b.c.d>
;          -DOUTFILE=<setup .exe> [-DSIGN_COMMAND=<command>] quorvane-downloader.nsi
; SIGN_COMMAND, when given, signs the uninstaller and the installer; it is run with the file.
; Silent: setup.exe /S [/D=C:\folder], uninstall.exe /S (its exit status: uninstall.exe /S _?=DIR)
; Exit status: 0 done, 2 the program runs, 3 Windows too old or 32-bit, 4 a program file could
; not be replaced or removed.

; A 32-bit installer for the 64-bit program: on a 32-bit Windows it starts and says why it cannot
; install, where a 64-bit one would get only the system's "cannot run" message. It works in the
; 64-bit registry and system folder (see .onInit and the firewall section).
Target x86-unicode
SetCompressor /SOLID lzma
ManifestDPIAware true
RequestExecutionLevel admin

!ifndef PROGRAM_EXE | PROGRAM_ICON | VERSION | OUTFILE
  !error "PROGRAM_EXE, PROGRAM_ICON, VERSION and OUTFILE must be defined"
!endif
!ifdef SIGN_COMMAND
  !finalize '"${SIGN_COMMAND}" "%1"' = 0
  !uninstfinalize '"${SIGN_COMMAND}" "%1"' = 0
!endif

!define PRODUCT "Quorvane专用下载器"
!define SHORTCUT "Quorvane下载器"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\QuorvaneDownloader"
; How the program is found while it runs (src/ui/win32/single_instance.h, main_window.h).
!define WINDOW_CLASS "QuorvaneDownloaderWindow"
!define INSTANCE_MUTEX "Local\QuorvaneDownloader"
; Tells the installed program from a portable copy (src/platform/installation.h).
!define INSTALLED_MARKER "quorvane-downloader.installed"
; The per-monitor DPI functions the program uses came with Windows 10, version 1607.
!define MINIMUM_BUILD 14393

!define EXIT_PROGRAM_RUNNING 2
!define EXIT_WINDOWS_TOO_OLD 3
!define EXIT_FILE_IN_USE 4

!define TEXT_RUNNING_INSTALL "Quorvane下载器正在运行，安装前需要先关闭它。$\r$\n$\r$\n点击“确定”由安装程序关闭它（正在下载时它会先询问您），点击“取消”退出安装。"
!define TEXT_RUNNING_UNINSTALL "Quorvane下载器正在运行，卸载前需要先关闭它。$\r$\n$\r$\n点击“确定”由卸载程序关闭它（正在下载时它会先询问您），点击“取消”退出卸载。"
!define TEXT_IN_USE_INSTALL "无法替换Quorvane下载器的程序文件，它可能仍在运行。请关闭它后重新运行安装程序。"
!define TEXT_IN_USE_UNINSTALL "无法删除Quorvane下载器的程序文件，它可能仍在运行。请关闭它后重新卸载，程序和它的快捷方式都还在。"
!define TEXT_WINDOWS_TOO_OLD "Quorvane下载器需要64位的Windows 10（版本1607）或更新版本的Windows，无法安装在这台电脑上。"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
!define DEFAULT_FOLDER "$PROGRAMFILES64\Quorvane"
; Not InstallDirRegKey: it would read the 32-bit registry; .onInit looks up an earlier install.
InstallDir "${DEFAULT_FOLDER}"
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION}"
VIAddVersionKey /LANG=2052 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=2052 "CompanyName" "Quorvane"
VIAddVersionKey /LANG=2052 "LegalCopyright" "Quorvane"
VIAddVersionKey /LANG=2052 "FileDescription" "${PRODUCT}安装程序"
VIAddVersionKey /LANG=2052 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=2052 "ProductVersion" "${VERSION}"

!include "LogicLib.nsh"
!include "WinVer.nsh"
!include "x64.nsh"
!include "WinMessages.nsh"
!include "MUI2.nsh"
!define MUI_ICON "${PROGRAM_ICON}"
!define MUI_UNICON "${PROGRAM_ICON}"
!define MUI_ABORTWARNING
; "Run now" goes through the user's shell: a child of this elevated installer would run as
; administrator.
!define MUI_FINISHPAGE_RUN ""
!define MUI_FINISHPAGE_RUN_FUNCTION startProgramAsTheUser

!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "SimpChinese"

!macro RUNNING_PROGRAM_FUNCTIONS UN TEXT_RUNNING
; $0 = 1 while a run of the program is there: its window, or its mutex while it starts or ends.
Function ${UN}programRunning
  FindWindow $0 "${WINDOW_CLASS}"
  ${If} $0 <> 0
    StrCpy $0 1
    Return
  ${EndIf}
  System::Call 'kernel32::OpenMutexW(i 0x00100000, i 0, w "${INSTANCE_MUTEX}") p .r1 ?e'
  Pop $2
  StrCpy $0 0
  ${If} $1 <> 0
    System::Call 'kernel32::CloseHandle(p r1)'
    StrCpy $0 1
  ${ElseIf} $2 = 5  ; ERROR_ACCESS_DENIED: there, but not ours to open
    StrCpy $0 1
  ${EndIf}
FunctionEnd

; Closes the program with WM_CLOSE, the way its own close button does, and waits for its process
; to end. While its question about a running download is up (its window disabled) or it winds
; down (its window hidden), it is given time; once its window is back, the player kept it.
Function ${UN}closeProgram
  FindWindow $3 "${WINDOW_CLASS}"
  ${If} $3 = 0
    Sleep 1000
    Return
  ${EndIf}
  System::Call 'user32::GetWindowThreadProcessId(p r3, *i .r4)'
  System::Call 'kernel32::OpenProcess(i 0x00100000, i 0, i r4) p .r5'
  System::Call 'user32::PostMessageW(p r3, i ${WM_CLOSE}, p 0, p 0)'
  ${If} $5 = 0
    Sleep 3000
    Return
  ${EndIf}
  StrCpy $6 0
  ${Do}
    System::Call 'kernel32::WaitForSingleObject(p r5, i 250) i .r7'
    ${IfThen} $7 = 0 ${|} ${ExitDo} ${|}
    IntOp $6 $6 + 250
    System::Call 'user32::IsWindowVisible(p r3) i .r8'
    System::Call 'user32::IsWindowEnabled(p r3) i .r9'
    ${If} $6 >= 2000
    ${AndIf} $8 <> 0
    ${AndIf} $9 <> 0
      ${ExitDo}
    ${EndIf}
    ${IfThen} $6 >= 600000 ${|} ${ExitDo} ${|}
  ${Loop}
  System::Call 'kernel32::CloseHandle(p r5)'
FunctionEnd

; Returns once the program is not running; otherwise ends the installer or uninstaller before
; it has changed anything.
Function ${UN}closeRunningProgram
  ${Do}
    Call ${UN}programRunning
    ${IfThen} $0 = 0 ${|} Return ${|}
    ${If} ${Silent}
      SetErrorLevel ${EXIT_PROGRAM_RUNNING}
      Quit
    ${EndIf}
    MessageBox MB_OKCANCEL|MB_ICONEXCLAMATION "${TEXT_RUNNING}" /SD IDCANCEL IDOK close
    SetErrorLevel ${EXIT_PROGRAM_RUNNING}
    Quit
  close:
    Call ${UN}closeProgram
  ${Loop}
FunctionEnd
!macroend
!insertmacro RUNNING_PROGRAM_FUNCTIONS "" "${TEXT_RUNNING_INSTALL}"
!insertmacro RUNNING_PROGRAM_FUNCTIONS "un." "${TEXT_RUNNING_UNINSTALL}"

; Shortcuts for every user, like the program in Program Files.
Function .onInit
  SetShellVarContext all
  ${IfNot} ${RunningX64}
  ${OrIfNot} ${AtLeastBuild} ${MINIMUM_BUILD}
    MessageBox MB_OK|MB_ICONSTOP "${TEXT_WINDOWS_TOO_OLD}" /SD IDOK
    SetErrorLevel ${EXIT_WINDOWS_TOO_OLD}
    Quit
  ${EndIf}
  SetRegView 64
  ; An upgrade goes where the earlier version is, unless the player named a folder (/D=).
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 != ""
  ${AndIf} $INSTDIR == "${DEFAULT_FOLDER}"
    StrCpy $INSTDIR $0
  ${EndIf}
  Call closeRunningProgram
FunctionEnd

Function un.onInit
  SetShellVarContext all
  SetRegView 64
  Call un.closeRunningProgram
FunctionEnd

Function startProgramAsTheUser
  ; Explorer runs with the user's own rights; it starts the program as a double-click would.
  Exec '"$WINDIR\explorer.exe" "$INSTDIR\quorvane-downloader.exe"'
FunctionEnd

; Adds the file's size in bytes to $0, for EstimatedSize.
!macro ADD_FILE_SIZE FILE
  ClearErrors
  FileOpen $1 "${FILE}" r
  ${IfNot} ${Errors}
    FileSeek $1 0 END $2
    FileClose $1
    IntOp $0 $0 + $2
  ${EndIf}
!macroend

Section "Program"
  SetOutPath "$INSTDIR"
  ; The new program arrives under a name of its own and replaces the old one in one step, so
  ; that a program file that cannot be replaced leaves everything as it was.
  File "/oname=quorvane-downloader.exe.new" "${PROGRAM_EXE}"
  Delete "$INSTDIR\quorvane-downloader.exe"
  ClearErrors
  Rename "$INSTDIR\quorvane-downloader.exe.new" "$INSTDIR\quorvane-downloader.exe"
  ${If} ${Errors}
    Delete "$INSTDIR\quorvane-downloader.exe.new"
    MessageBox MB_OK|MB_ICONSTOP "${TEXT_IN_USE_INSTALL}" /SD IDOK
    SetErrorLevel ${EXIT_FILE_IN_USE}
    Abort
  ${EndIf}
  WriteUninstaller "$INSTDIR\uninstall.exe"
  FileOpen $0 "$INSTDIR\${INSTALLED_MARKER}" w
  FileWrite $0 "${VERSION}$\r$\n"
  FileClose $0

  CreateShortcut "$SMPROGRAMS\${SHORTCUT}.lnk" "$INSTDIR\quorvane-downloader.exe"
  CreateShortcut "$DESKTOP\${SHORTCUT}.lnk" "$INSTDIR\quorvane-downloader.exe"

  ; The entry comes last, once everything it points at is in place.
  StrCpy $0 0
  !insertmacro ADD_FILE_SIZE "$INSTDIR\quorvane-downloader.exe"
  !insertmacro ADD_FILE_SIZE "$INSTDIR\uninstall.exe"
  IntOp $0 $0 + 1023
  IntOp $0 $0 / 1024
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Quorvane"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\quorvane-downloader.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; Players pass the pieces they have on to each other: the installed program accepts other
; players' connections while it downloads with them. The rule lets them in for this program only,
; so that Windows does not stop the player's first such download with a firewall question. An
; older rule of the same name and program goes first: an upgrade leaves exactly one.
!define FIREWALL_RULE "Quorvane下载器"
!define FIREWALL_PROGRAM 'name="${FIREWALL_RULE}" program="$INSTDIR\quorvane-downloader.exe"'
Section "Firewall"
  ${DisableX64FSRedirection}
  nsExec::Exec '"$SYSDIR\netsh.exe" advfirewall firewall delete rule ${FIREWALL_PROGRAM}'
  Pop $0
  nsExec::Exec '"$SYSDIR\netsh.exe" advfirewall firewall add rule ${FIREWALL_PROGRAM} dir=in action=allow enable=yes profile=any'
  Pop $0
  ${EnableX64FSRedirection}
SectionEnd

Section "Uninstall"
  ; The program file first: while it cannot go, the shortcuts and the entry stay, and the
  ; player can uninstall again.
  Delete "$INSTDIR\quorvane-downloader.exe"
  ${If} ${FileExists} "$INSTDIR\quorvane-downloader.exe"
    MessageBox MB_OK|MB_ICONSTOP "${TEXT_IN_USE_UNINSTALL}" /SD IDOK
    SetErrorLevel ${EXIT_FILE_IN_USE}
    Abort
  ${EndIf}
  Delete "$INSTDIR\${INSTALLED_MARKER}"
  Delete "$INSTDIR\uninstall.exe"
  Delete "$SMPROGRAMS\${SHORTCUT}.lnk"
  Delete "$DESKTOP\${SHORTCUT}.lnk"
  ; Not recursive: a folder that still holds downloads stays, and so do they.
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd

; Runs only once the program file is gone (the section above stops the uninstaller otherwise).
Section "un.Firewall"
  ${DisableX64FSRedirection}
  nsExec::Exec '"$SYSDIR\netsh.exe" advfirewall firewall delete rule ${FIREWALL_PROGRAM}'
  Pop $0
  ${EnableX64FSRedirection}
SectionEnd
