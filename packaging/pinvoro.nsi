; The Pinvoro installer. Built by scripts/package.sh, which passes
;   VERSION   the project version from CMake, e.g. 1.32
;   VERSION4  the same in four numbers, e.g. 1.32.0.0
;   STAGE     a folder holding the files to install (the portable zip's)
;   ICON      the program's icon, for the installer and the uninstaller
;   OUTFILE   the installer to write
;
; Per-machine into Program Files when run by an administrator, per-user into
; the user's programs folder otherwise; /AllUsers and /CurrentUser choose
; explicitly. /S installs silently, /D=FOLDER (last on the command line)
; sets the folder.
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
ManifestDPIAware true

!ifndef VERSION | VERSION4 | STAGE | ICON | OUTFILE
  !error "makensis -DVERSION=... -DVERSION4=... -DSTAGE=... -DICON=... -DOUTFILE=... pinvoro.nsi"
!endif

!define NAME "Pinvoro"
!define PUBLISHER "The Pinvoro developers"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Pinvoro"

Name "${NAME} ${VERSION}"
OutFile "${OUTFILE}"
BrandingText "${NAME} ${VERSION}"

VIProductVersion "${VERSION4}"
VIAddVersionKey /LANG=1033 "ProductName" "${NAME}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileDescription" "${NAME} ${VERSION} setup"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (C) ${PUBLISHER}"

!define MULTIUSER_EXECUTIONLEVEL Highest
!define MULTIUSER_INSTALLMODE_COMMANDLINE
!define MULTIUSER_INSTALLMODE_INSTDIR "${NAME}"
!define MULTIUSER_USE_PROGRAMFILES64
; An update goes where the last install went.
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_KEY "${UNINSTALL_KEY}"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_VALUENAME "InstallLocation"
!define MULTIUSER_MUI
!include MultiUser.nsh
!include MUI2.nsh

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"

!insertmacro MULTIUSER_PAGE_INSTALLMODE
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "Japanese"
!insertmacro MUI_LANGUAGE "SimpChinese"

; The program reads and writes pinvoro.ini in its working folder; the
; installation folder is not writable for users, so the shortcut makes the
; program work in %LOCALAPPDATA%\Pinvoro instead.
!define SHORTCUT_ARGS "/user-folder"

; One list of the installed files, for the install and the uninstall.
!macro Files DO
  !insertmacro ${DO} "pinvoro.exe"
  !insertmacro ${DO} "cbltool.exe"
  !insertmacro ${DO} "guide.html"
  !insertmacro ${DO} "samples\demo.cbl"
!macroend
!macro InstallFile NAME
  File "/oname=${NAME}" "${STAGE}/${NAME}"
!macroend
!macro RemoveFile NAME
  Delete "$INSTDIR\${NAME}"
!macroend

Var FolderGiven
Function .onInit
  ; MultiUser sets the default folder of the mode; /D= is already in $INSTDIR
  ; and wins.
  StrCpy $FolderGiven $INSTDIR
  !insertmacro MULTIUSER_INIT
  StrCmp $FolderGiven "" +2
  StrCpy $INSTDIR $FolderGiven
FunctionEnd

Function un.onInit
  !insertmacro MULTIUSER_UNINIT
FunctionEnd

Section "Pinvoro" SecMain
  SectionIn RO
  SetOutPath "$INSTDIR"
  CreateDirectory "$INSTDIR\samples"
  !insertmacro Files InstallFile
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateDirectory "$SMPROGRAMS\${NAME}"
  CreateShortcut "$SMPROGRAMS\${NAME}\${NAME}.lnk" "$INSTDIR\pinvoro.exe" "${SHORTCUT_ARGS}" \
    "$INSTDIR\pinvoro.exe" 0 "" "" "${NAME} cable checker"
  CreateShortcut "$SMPROGRAMS\${NAME}\${NAME} user guide.lnk" "$INSTDIR\guide.html"

  ; Apps & features. The uninstaller is told the mode it was installed in.
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${NAME} ${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\pinvoro.exe"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" \
    '"$INSTDIR\uninstall.exe" /$MultiUser.InstallMode'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" \
    '"$INSTDIR\uninstall.exe" /$MultiUser.InstallMode /S'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
  SectionGetSize ${SecMain} $0
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; Only what the installer put there: cable sets and settings the user saved,
; in %LOCALAPPDATA%\Pinvoro or beside the program, stay.
Section "Uninstall"
  Delete "$SMPROGRAMS\${NAME}\${NAME}.lnk"
  Delete "$SMPROGRAMS\${NAME}\${NAME} user guide.lnk"
  RMDir "$SMPROGRAMS\${NAME}"
  !insertmacro Files RemoveFile
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR\samples"
  RMDir "$INSTDIR"
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
SectionEnd
