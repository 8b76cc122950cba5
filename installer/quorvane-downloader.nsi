; Installer of the Windows program: into Program Files, with Start-menu and desktop shortcuts and
; an uninstaller that removes exactly what was installed. Downloaded files are the user's: the
; uninstaller never deletes them, and the program folder goes only when nothing else is left in it.
;
; makensis -DPROGRAM_EXE=<quorvane-downloader.exe> -DPROGRAM_ICON=<.ico> -DVERSION=<a.b.c.d>
;          -DOUTFILE=<setup .exe> quorvane-downloader.nsi
; Silent: setup.exe /S [/D=C:\folder], uninstall.exe /S

; A 64-bit installer for the 64-bit program.
Target amd64-unicode
SetCompressor /SOLID lzma
ManifestDPIAware true
RequestExecutionLevel admin

!ifndef PROGRAM_EXE | PROGRAM_ICON | VERSION | OUTFILE
  !error "PROGRAM_EXE, PROGRAM_ICON, VERSION and OUTFILE must be defined"
!endif

!define PRODUCT "Quorvane专用下载器"
!define SHORTCUT "Quorvane下载器"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\QuorvaneDownloader"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Quorvane"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION}"
VIAddVersionKey /LANG=2052 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=2052 "CompanyName" "Quorvane"
VIAddVersionKey /LANG=2052 "LegalCopyright" "Quorvane"
VIAddVersionKey /LANG=2052 "FileDescription" "${PRODUCT}安装程序"
VIAddVersionKey /LANG=2052 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=2052 "ProductVersion" "${VERSION}"

!include "MUI2.nsh"
!define MUI_ICON "${PROGRAM_ICON}"
!define MUI_UNICON "${PROGRAM_ICON}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\quorvane-downloader.exe"

!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "SimpChinese"

; Shortcuts for every user, like the program in Program Files.
Function .onInit
  SetShellVarContext all
FunctionEnd

Function un.onInit
  SetShellVarContext all
FunctionEnd

Section "Program"
  SetOutPath "$INSTDIR"
  File "/oname=quorvane-downloader.exe" "${PROGRAM_EXE}"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateShortcut "$SMPROGRAMS\${SHORTCUT}.lnk" "$INSTDIR\quorvane-downloader.exe"
  CreateShortcut "$DESKTOP\${SHORTCUT}.lnk" "$INSTDIR\quorvane-downloader.exe"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Quorvane"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\quorvane-downloader.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  Delete "$SMPROGRAMS\${SHORTCUT}.lnk"
  Delete "$DESKTOP\${SHORTCUT}.lnk"
  Delete "$INSTDIR\quorvane-downloader.exe"
  Delete "$INSTDIR\uninstall.exe"
  ; Not recursive: a folder that still holds downloads stays, and so do they.
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
