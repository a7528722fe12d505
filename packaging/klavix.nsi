; The per-user installer of Klavix (NSIS 3, Unicode). scripts/release.sh builds it:
;   makensis -INPUTCHARSET UTF8 -DVERSION=0.1 -DVERSION4=0.1.0.0 -DSTAGE=dir -DOUT_FILE=file klavix.nsi
; STAGE holds klavix.exe, klavix.ico, klavix-wizard.bmp and the three text files; VERSION is the version people
; read, VERSION4 the same in the four numbers of a version resource.
;
; No administrator rights: everything goes under the user's own folders and HKCU.
;   %LOCALAPPDATA%\Programs\Klavix     the program, its texts and uninstall.exe
;   Start menu\Programs\Клавикс.lnk
;   HKCU\...\Uninstall\Klavix          the Apps & features entry (a stable key, for every version)
; Silent: "klavix-X-setup.exe /S" installs, "uninstall.exe /S" removes. A running copy is asked
; to end first (the «Выход» command sent to its tray window), and the uninstaller keeps the
; user's settings folder %APPDATA%\Klavix. An update closes the running copy and starts the new
; one when it is done: the wizard from its last page, a silent update by itself. A silent first
; installation, with nothing running before, starts nothing.
; With -DSIGN=script (scripts/release.sh, for a signed release) the uninstaller is signed by
; "script FILE" before it is packed, so it carries a signature like the installer.

!ifndef VERSION | VERSION4 | STAGE | OUT_FILE
  !error "VERSION, VERSION4, STAGE and OUT_FILE must be defined (scripts/release.sh does it)"
!endif

; A 64-bit installer for a 64-bit program: it also runs where Windows has no 32-bit layer
; (and under a 64-bit-only Wine).
Target amd64-unicode
ManifestDPIAware true
RequestExecutionLevel user
SetCompressor /SOLID lzma
SetDatablockOptimize on
CRCCheck on

!define APP_NAME "Клавикс"
!define PUBLISHER "The Klavix authors"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Klavix"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define TRAY_CLASS "KlavixTray"
!define CMD_EXIT 8  ; the tray menu's «Выход»

!ifdef SIGN
  !uninstfinalize 'bash "${SIGN}" "%1" uninstall.exe' = 0
!endif

Name "${APP_NAME}"
Caption "${APP_NAME} ${VERSION}"
OutFile "${OUT_FILE}"
InstallDir "$LOCALAPPDATA\Programs\Klavix"
; An update goes where the earlier version is, also when that was chosen with /D=.
InstallDirRegKey HKCU "${UNINST_KEY}" "InstallLocation"
BrandingText "${APP_NAME} ${VERSION}"
ShowInstDetails nevershow
ShowUninstDetails nevershow

!include "MUI2.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"

!define MUI_ICON "${STAGE}\klavix.ico"
!define MUI_UNICON "${STAGE}\klavix.ico"
!define MUI_WELCOMEFINISHPAGE_BITMAP "${STAGE}\klavix-wizard.bmp"
!define MUI_UNWELCOMEFINISHPAGE_BITMAP "${STAGE}\klavix-wizard.bmp"
!define MUI_ABORTWARNING

!define MUI_WELCOMEPAGE_TEXT "Клавикс исправляет слова, набранные не в той раскладке: «ghbdtn» становится «привет», «руддщ» — «hello».$\r$\n$\r$\nПрограмма ставится только для вас, без прав администратора, в папку$\r$\n$INSTDIR.$\r$\n$\r$\nЕсли Клавикс уже запущена, установка её закроет.$\r$\n$\r$\nНажмите «Установить», чтобы продолжить."
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TEXT "Клавикс установлена. Её значок «Ая» — в области уведомлений, рядом с часами. Правый клик по нему открывает меню.$\r$\n$\r$\nPause — исправить последнее слово, Shift+Pause — выделенный текст."
!define MUI_FINISHPAGE_TEXT_LARGE
!define MUI_FINISHPAGE_RUN "$INSTDIR\klavix.exe"
!insertmacro MUI_PAGE_FINISH

!define MUI_UNCONFIRMPAGE_TEXT_TOP "Клавикс будет закрыта и удалена с компьютера. Ваши настройки и слова-исключения останутся в папке %APPDATA%\Klavix: удалите её сами, если они больше не нужны."
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "Russian"

VIProductVersion "${VERSION4}"
VIFileVersion "${VERSION4}"
VIAddVersionKey /LANG=${LANG_RUSSIAN} "ProductName" "${APP_NAME}"
VIAddVersionKey /LANG=${LANG_RUSSIAN} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_RUSSIAN} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_RUSSIAN} "FileDescription" "Установка программы ${APP_NAME} ${VERSION}"
VIAddVersionKey /LANG=${LANG_RUSSIAN} "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=${LANG_RUSSIAN} "LegalCopyright" "MIT License, ${PUBLISHER}"

; Ends the running copy the way its own menu does, and waits until the process is gone so that
; its file can be replaced or deleted. A copy that does not end within 15 s stops the
; installation (or the removal) with an error instead of leaving half-replaced files behind.
; Sets $closed_running to 1 when there was a copy to end.
Var closed_running
!macro CLOSE_RUNNING prefix
Function ${prefix}close_running
  StrCpy $R0 0  ; copies asked so far
  ${Do}
    FindWindow $0 "${TRAY_CLASS}"
    ${If} $0 = 0
      Return
    ${EndIf}
    ${If} $R0 >= 5
      ${Break}
    ${EndIf}
    IntOp $R0 $R0 + 1
    StrCpy $closed_running 1
    DetailPrint "Закрываю запущенную программу"
    System::Call 'user32::GetWindowThreadProcessId(p r0, *i .r1) i'
    System::Call 'kernel32::OpenProcess(i 0x00100000, i 0, i r1) p .r2'  ; SYNCHRONIZE
    SendMessage $0 ${WM_COMMAND} ${CMD_EXIT} 0 /TIMEOUT=5000
    ${If} $2 P<> 0
      System::Call 'kernel32::WaitForSingleObject(p r2, i 15000) i .r3'
      System::Call 'kernel32::CloseHandle(p r2)'
      ${If} $3 <> 0
        ${Break}
      ${EndIf}
    ${Else}
      Sleep 1000
    ${EndIf}
  ${Loop}
  MessageBox MB_ICONSTOP "Не удалось закрыть запущенную программу Клавикс. Выберите «Выход» в меню её значка «Ая» и запустите эту программу снова." /SD IDOK
  SetErrorLevel 2
  Quit
FunctionEnd
!macroend
!insertmacro CLOSE_RUNNING ""
!insertmacro CLOSE_RUNNING "un."

Section "Клавикс" main
  SectionIn RO
  Call close_running
  SetOutPath "$INSTDIR"
  File "${STAGE}\klavix.exe"
  File "${STAGE}\README.txt"
  File "${STAGE}\LICENSE.txt"
  File "${STAGE}\THIRD-PARTY-NOTICES.txt"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateShortCut "$SMPROGRAMS\${APP_NAME}.lnk" "$INSTDIR\klavix.exe" "" "$INSTDIR\klavix.exe" 0 \
    SW_SHOWNORMAL "" "Исправляет слова, набранные не в той раскладке"

  WriteRegStr HKCU "${UNINST_KEY}" "DisplayName" "${APP_NAME}"
  WriteRegStr HKCU "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINST_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\klavix.exe,0"
  WriteRegStr HKCU "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINST_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINST_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINST_KEY}" "EstimatedSize" $0
SectionEnd

; The wizard starts the program from its last page («Запустить Клавикс», ticked). A silent
; update (a package manager's) puts back what it closed: the program runs again as the user who
; ran the installer, as it did before. A silent first installation leaves the start to the user.
Function .onInstSuccess
  ${If} ${Silent}
  ${AndIf} $closed_running == 1
    Exec '"$INSTDIR\klavix.exe"'
  ${EndIf}
FunctionEnd

Section "Uninstall"
  Call un.close_running
  Delete "$INSTDIR\klavix.exe"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\THIRD-PARTY-NOTICES.txt"
  Delete "$INSTDIR\uninstall.exe"
  ; Only when empty: a folder chosen with /D= may hold the user's own files.
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\${APP_NAME}.lnk"
  DeleteRegKey HKCU "${UNINST_KEY}"
  ; The program registers itself to start with Windows; that goes with it. %APPDATA%\Klavix
  ; (settings and the user's exceptions) stays.
  DeleteRegValue HKCU "${RUN_KEY}" "Klavix"
SectionEnd
