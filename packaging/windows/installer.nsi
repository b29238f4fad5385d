; The Windows installer of Ostrevo SetUp (NSIS 3, 64-bit): the program's folder, its Start-menu entries
; ("Ostrevo SetUp", "Demo with a Virtual Detector", "Uninstall Ostrevo SetUp") and its uninstaller, for the
; user alone (in the user's own programs folder, no administrator needed) or for all users (Program Files).
; Silent: setup.exe /S, with /CurrentUser or /AllUsers (by default: all users for an administrator, the user
; alone otherwise). Made by scripts/windows:
;   makensis -DVERSION=1.0.0 -DSTAGE=<program folder> -DOUTFILE=<setup.exe> -DFILES=<files.nsh> [-DICON=<file.ico>]
;            installer.nsi
; FILES lists the staged files and folders as the uninstaller's Delete and RMDir lines.
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma

!ifndef VERSION | STAGE | OUTFILE | FILES
  !error "VERSION, STAGE, OUTFILE and FILES must be defined"
!endif

!define APPNAME "Ostrevo SetUp"
!define EXE "ostrevo-setup.exe"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\OstrevoSetUp"

Name "${APPNAME} ${VERSION}"
OutFile "${OUTFILE}"
!ifdef ICON
  Icon "${ICON}"
  UninstallIcon "${ICON}"
  !define MUI_ICON "${ICON}"
  !define MUI_UNICON "${ICON}"
!endif
VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${APPNAME}"
VIAddVersionKey "CompanyName" "Ostrevo"
VIAddVersionKey "FileDescription" "${APPNAME} installer"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "2026 Ostrevo"

; For the user alone or for all users.
!define MULTIUSER_EXECUTIONLEVEL Highest
!define MULTIUSER_MUI
!define MULTIUSER_INSTALLMODE_COMMANDLINE
!define MULTIUSER_INSTALLMODE_INSTDIR "${APPNAME}"
!define MULTIUSER_USE_PROGRAMFILES64
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_KEY "Software\Ostrevo\OstrevoSetUp"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_VALUENAME "InstallDir"
!include MultiUser.nsh
!include MUI2.nsh
!include x64.nsh

!define MUI_ABORTWARNING
!insertmacro MULTIUSER_PAGE_INSTALLMODE
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\${EXE}"
!define MUI_FINISHPAGE_RUN_TEXT "Start ${APPNAME}"
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Function .onInit
  ${IfNot} ${RunningX64}
    MessageBox MB_ICONSTOP "${APPNAME} needs a 64-bit Windows." /SD IDOK
    Abort
  ${EndIf}
  SetRegView 64
  !insertmacro MULTIUSER_INIT
FunctionEnd

Function un.onInit
  SetRegView 64
  !insertmacro MULTIUSER_UNINIT
FunctionEnd

Section "${APPNAME}" Program
  SectionIn RO
  SetOutPath "$INSTDIR"
  ; The program's folder as it was staged: the program, its siren, Qt and the MinGW runtime, the plug-ins.
  File /r "${STAGE}\*.*"
  WriteUninstaller "$INSTDIR\Uninstall.exe"

  ; The Start-menu folder: the program, its demo, the uninstaller. (Its folder is the user's or everyone's,
  ; as the install mode chose.)
  CreateDirectory "$SMPROGRAMS\${APPNAME}"
  CreateShortcut "$SMPROGRAMS\${APPNAME}\${APPNAME}.lnk" "$INSTDIR\${EXE}" "" "$INSTDIR\${EXE}" 0 \
    SW_SHOWNORMAL "" "Set up and watch an exterior intrusion detector over a serial line"
  CreateShortcut "$SMPROGRAMS\${APPNAME}\Demo with a Virtual Detector.lnk" "$INSTDIR\${EXE}" "--demo" \
    "$INSTDIR\${EXE}" 0 SW_SHOWNORMAL "" "Try ${APPNAME} with a virtual detector, without hardware"
  CreateShortcut "$SMPROGRAMS\${APPNAME}\Uninstall ${APPNAME}.lnk" "$INSTDIR\Uninstall.exe"

  ; Apps and Features.
  WriteRegStr SHCTX "${MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_KEY}" "${MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_VALUENAME}" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${APPNAME}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "Ostrevo"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${EXE}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe" /$MultiUser.InstallMode'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /$MultiUser.InstallMode /S'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  ; The program's own files only: the user's settings and error log (in the user's application data) stay.
  Delete "$SMPROGRAMS\${APPNAME}\${APPNAME}.lnk"
  Delete "$SMPROGRAMS\${APPNAME}\Demo with a Virtual Detector.lnk"
  Delete "$SMPROGRAMS\${APPNAME}\Uninstall ${APPNAME}.lnk"
  RMDir "$SMPROGRAMS\${APPNAME}"
  ; What was installed, by name: a folder shared with other files keeps them.
  !include "${FILES}"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
  DeleteRegKey SHCTX "${MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_KEY}"
  DeleteRegKey /ifempty SHCTX "Software\Ostrevo"
SectionEnd
