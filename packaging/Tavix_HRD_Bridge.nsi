; The per-user installer of Tavix HRD Bridge, made by scripts/package:
;
;   makensis -DVERSION=1.0.8 -DSTAGE_DIR=<folder of the release files> -DOUT_FILE=<setup.exe> \
;     packaging/Tavix_HRD_Bridge.nsi
;
; It installs for the current user and asks for no administrator rights. The program writes
; its error log beside itself, so it goes into a folder the user owns:
; %LOCALAPPDATA%\Programs\Tavix_HRD_Bridge, with a Start-menu shortcut and an entry among the
; user's installed programs, both per user. The uninstaller removes what was installed and
; the error log the program may have written beside itself; the user's settings, under
; HKCU\Software\VB and VBA Program Settings\Tavix_HRD_Bridge, stay.

Unicode true
ManifestDPIAware true
SetCompressor /SOLID lzma
RequestExecutionLevel user

!ifndef VERSION
  !error "VERSION is not defined: makensis -DVERSION=x.y.z"
!endif
!ifndef STAGE_DIR
  !error "STAGE_DIR is not defined: the folder holding the release files"
!endif
!ifndef OUT_FILE
  !error "OUT_FILE is not defined: the installer to write"
!endif

!define APP_NAME "Tavix HRD Bridge"
!define APP_ID "Tavix_HRD_Bridge"
!define APP_EXE "Tavix_HRD_Bridge.exe"
!define PUBLISHER "the Tavix HRD Bridge authors"
!define COPYRIGHT "Copyright (c) 2026 the Tavix HRD Bridge authors"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${APP_ID}"
!define UNINSTALLER "uninstall.exe"
!define SHORTCUT "$SMPROGRAMS\${APP_NAME}.lnk"
; The bridge's main window: the class of its forms and its caption.
!define BRIDGE_CLASS "TavixHrdBridgeForm"
!define BRIDGE_CAPTION "Tavix HRD Bridge"
!define SYNCHRONIZE 0x00100000
!define FILES_IN_USE "Some files in $INSTDIR could not be removed. Close the programs that use them, then uninstall again."

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include WinMessages.nsh

Name "${APP_NAME} ${VERSION}"
OutFile "${OUT_FILE}"
InstallDir "$LOCALAPPDATA\Programs\${APP_ID}"
; An update goes where the installed version is.
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${APP_NAME} ${VERSION}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"

!define MUI_ICON "${__FILEDIR__}/../res/Tavix_HRD_Bridge.ico"
!define MUI_UNICON "${__FILEDIR__}/../res/Tavix_HRD_Bridge.ico"
!define MUI_ABORTWARNING

!insertmacro MUI_PAGE_LICENSE "${STAGE_DIR}/LICENSE"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\${APP_EXE}"
!define MUI_FINISHPAGE_RUN_TEXT "Start ${APP_NAME} now"
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductName" "${APP_NAME}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileDescription" "${APP_NAME} ${VERSION} setup"
VIAddVersionKey /LANG=${LANG_ENGLISH} "LegalCopyright" "${COPYRIGHT}"

; A running bridge holds its exe open: it is closed first (after asking, unless silent), and
; the installer or uninstaller stops when it does not end.
!macro DEFINE_CLOSE_RUNNING_BRIDGE PREFIX
Function ${PREFIX}CloseRunningBridge
  FindWindow $0 "${BRIDGE_CLASS}" "${BRIDGE_CAPTION}"
  ${If} $0 = 0
    Return
  ${EndIf}
  MessageBox MB_OKCANCEL|MB_ICONEXCLAMATION \
    "${APP_NAME} is running. Choose OK to close it and go on, or Cancel to stop." \
    /SD IDOK IDOK close
  Abort "${APP_NAME} is running."
close:
  DetailPrint "Closing ${APP_NAME}"
  StrCpy $1 0
  System::Call 'user32::GetWindowThreadProcessId(p r0, *i .r1) i'
  System::Call 'kernel32::OpenProcess(i ${SYNCHRONIZE}, i 0, i r1) p .r2'
  System::Call 'user32::PostMessage(p r0, i ${WM_CLOSE}, p 0, p 0) i'
  ; Its window goes before the process has ended; only the ended process frees the exe.
  ${If} $2 <> 0
    System::Call 'kernel32::WaitForSingleObject(p r2, i 20000) i .r3'
    System::Call 'kernel32::CloseHandle(p r2)'
  ${Else}
    StrCpy $3 1
    ${For} $4 1 100
      Sleep 200
      FindWindow $0 "${BRIDGE_CLASS}" "${BRIDGE_CAPTION}"
      ${If} $0 = 0
        StrCpy $3 0
        ${Break}
      ${EndIf}
    ${Next}
    ${If} $3 = 0
      Sleep 1000
    ${EndIf}
  ${EndIf}
  ${If} $3 <> 0
    MessageBox MB_ICONSTOP "${APP_NAME} did not close. Close it, then try again." /SD IDOK
    Abort "${APP_NAME} did not close."
  ${EndIf}
FunctionEnd
!macroend
!insertmacro DEFINE_CLOSE_RUNNING_BRIDGE ""
!insertmacro DEFINE_CLOSE_RUNNING_BRIDGE "un."

Function .onInit
  SetShellVarContext current
FunctionEnd

Function un.onInit
  SetShellVarContext current
FunctionEnd

Section "${APP_NAME}"
  SectionIn RO
  Call CloseRunningBridge

  SetOutPath "$INSTDIR"
  File "${STAGE_DIR}/${APP_EXE}"
  File "${STAGE_DIR}/hrd_sim.exe"
  File "${STAGE_DIR}/suite_client.exe"
  File "${STAGE_DIR}/manual.md"
  File "${STAGE_DIR}/README.md"
  File "${STAGE_DIR}/LICENSE"
  File "${STAGE_DIR}/window.png"
  File "${STAGE_DIR}/window-hrd-not-running.png"
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"

  ; Started from the shortcut, the program's working folder is its own.
  CreateShortCut "${SHORTCUT}" "$INSTDIR\${APP_EXE}" "" "$INSTDIR\${APP_EXE}" 0 \
    SW_SHOWNORMAL "" "Lets the programs of the Tavix suite control the radio through HRD"

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${APP_NAME}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${APP_EXE},0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  IntFmt $0 "0x%08X" $0
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" "$0"
SectionEnd

Section "Uninstall"
  Call un.CloseRunningBridge

  ClearErrors
  Delete "$INSTDIR\${APP_EXE}"
  Delete "$INSTDIR\hrd_sim.exe"
  Delete "$INSTDIR\suite_client.exe"
  Delete "$INSTDIR\manual.md"
  Delete "$INSTDIR\README.md"
  Delete "$INSTDIR\LICENSE"
  Delete "$INSTDIR\window.png"
  Delete "$INSTDIR\window-hrd-not-running.png"
  ; The program's own log, written beside it.
  Delete "$INSTDIR\ErrorLog.txt"
  ${If} ${Errors}
    ; The shortcut and the entry among the installed programs stay, so that the uninstall
    ; can be run again once the files are free.
    MessageBox MB_ICONSTOP "${FILES_IN_USE}" /SD IDOK
    SetErrorLevel 2
    Abort "Some files could not be removed."
  ${EndIf}
  Delete "${SHORTCUT}"
  Delete "$INSTDIR\${UNINSTALLER}"
  ; Only when empty: a folder the user chose may hold files of their own.
  RMDir "$INSTDIR"
  ; Last, so that a stopped uninstall can be run again.
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
