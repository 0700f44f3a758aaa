; QuilletSetup.exe: installs, updates and removes Quillet.
;
;   makensis -DBIN_DIR=<build>/bin -DSOURCE_DIR=<source> -DARCH=x86|x64
;            -DOUT_FILE=<build>/bin/QuilletSetup.exe installer/Quillet.nsi
;
; installer/CMakeLists.txt runs it after the three files are built; the
; version comes from Quillet.exe's own version information.
;
;   QuilletSetup.exe [/S] [/WAIT=seconds] [/D=folder]
;   Uninstall.exe [/S] [/WAIT=seconds]
;
; The uninstaller is also written beside OUT_FILE when it is made, for the
; Windows Installer package (Quillet.wxs), which runs it for its steps
; (PackageSteps.nsh) and every user's logon step.
;
; /S runs without pages and questions; /WAIT is how long a silent run waits
; for open protected browser windows (default 60 s). Exit codes: ExitCodes.nsh.
Unicode true
SetCompressor /SOLID lzma
!if ${ARCH} == x64
    Target amd64-unicode
    !define PROGRAM_FILES "$PROGRAMFILES64"
!else
    Target x86-unicode
    !define PROGRAM_FILES "$PROGRAMFILES"
!endif

!getdllversion "${BIN_DIR}/Quillet.exe" QUILLET_FILE_VERSION_
!define VERSION "${QUILLET_FILE_VERSION_1}.${QUILLET_FILE_VERSION_2}.${QUILLET_FILE_VERSION_3}.${QUILLET_FILE_VERSION_4}"
; The fields of Quillet's version that Windows Installer compares; the logon
; step's Version begins with them.
!define STEP_PRODUCT_VERSION "${QUILLET_FILE_VERSION_1},${QUILLET_FILE_VERSION_2},${QUILLET_FILE_VERSION_3}"
!define QUILLET_WINDOW_CLASS "Quillet"
!define DEFAULT_WAIT_SECONDS 60

!include LogicLib.nsh
!include FileFunc.nsh
!include TextFunc.nsh
!include WordFunc.nsh
!include MUI2.nsh
!include ExitCodes.nsh
!include SystemLibraries.nsh
!include SetupLog.nsh
!include PellowCalls.nsh
!include QuilletIdle.nsh

Name "Quillet"
OutFile "${OUT_FILE}"
!uninstfinalize 'cp "%1" "${UNINSTALLER_FILE}" && chmod 644 "${UNINSTALLER_FILE}"'
InstallDir "${PROGRAM_FILES}\Orvane\Quillet"
RequestExecutionLevel admin
BrandingText "Orvane Quillet ${VERSION}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductName" "Orvane Quillet"
VIAddVersionKey /LANG=1033 "CompanyName" "Orvane"
VIAddVersionKey /LANG=1033 "FileDescription" "Quillet Setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (C) Orvane"

Var WaitLimitMs
Var LogonStep   ; the uninstaller run as a logon step: its step, else ""
Var Updating
Var UpdateNote
Var TakeoverDone
Var FinishNote
Var WelcomeText
Var HeldNote
Var TakeoverAccount
Var PackageStep ; the uninstaller run by the package: its step, else ""

; The product's own artwork instead of NSIS's.
!define MUI_ICON "${SOURCE_DIR}/ui/icons/program.ico"
!define MUI_UNICON "${SOURCE_DIR}/ui/icons/program.ico"
!define MUI_WELCOMEFINISHPAGE_BITMAP "${SOURCE_DIR}/installer/art/welcome.bmp"
!define MUI_UNWELCOMEFINISHPAGE_BITMAP "${SOURCE_DIR}/installer/art/welcome.bmp"
!define MUI_HEADERIMAGE
!define MUI_HEADERIMAGE_RIGHT
!define MUI_HEADERIMAGE_BITMAP "${SOURCE_DIR}/installer/art/header.bmp"
!define MUI_HEADERIMAGE_UNBITMAP "${SOURCE_DIR}/installer/art/header.bmp"
!define MUI_ABORTWARNING

!define MUI_WELCOMEPAGE_TITLE "$(Q_WELCOME_TITLE)"
!define MUI_WELCOMEPAGE_TEXT "$WelcomeText"
!insertmacro MUI_PAGE_WELCOME
!define MUI_PAGE_CUSTOMFUNCTION_PRE SkipFolderOnUpdate
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
; The details stay until Next, so that what the setup did (and left) can be read.
!define MUI_FINISHPAGE_NOAUTOCLOSE
!define MUI_FINISHPAGE_TEXT "$FinishNote"
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"
!include Strings.nsh

!insertmacro SETUP_LOG_FUNCTIONS ""
!insertmacro SETUP_LOG_FUNCTIONS "un."
!insertmacro PELLOW_FUNCTIONS ""
!insertmacro PELLOW_FUNCTIONS "un."
!insertmacro QUILLET_IDLE_FUNCTIONS ""
!insertmacro QUILLET_IDLE_FUNCTIONS "un."
!include UserRecords.nsh
!insertmacro USER_RECORD_FUNCTIONS ""
!insertmacro USER_RECORD_FUNCTIONS "un."
!include ActiveSetup.nsh
!insertmacro ACTIVE_SETUP_FUNCTIONS ""
!insertmacro ACTIVE_SETUP_FUNCTIONS "un."

!include Takeover.nsh
!include ProgramFiles.nsh
!insertmacro TAKEOVER_LOG_FUNCTIONS ""
!insertmacro TAKEOVER_LOG_FUNCTIONS "un."
!include Shortcuts.nsh
!include ProgramsEntry.nsh
!include PackageSteps.nsh
!insertmacro PACKAGE_FUNCTIONS ""
!insertmacro PACKAGE_FUNCTIONS "un."

; What setup and uninstaller both do first.
!macro SETUP_INIT_COMMON
    !if ${ARCH} == x64
        SetRegView 64
    !endif
    SetShellVarContext current
    ${GetParameters} $0
    ClearErrors
    ${GetOptions} $0 "/WAIT=" $1
    ${If} ${Errors}
    ${OrIfNot} $1 > 0
        StrCpy $1 ${DEFAULT_WAIT_SECONDS}
    ${EndIf}
    IntOp $WaitLimitMs $1 * 1000
!macroend

; An installed copy (from this setup, or copied by hand and taken over) is
; updated where it is: a second copy elsewhere would find the takeover
; already made and leave the links running the old one.
Function FindInstalledCopy
    StrCpy $Updating 0
    ReadRegStr $0 HKLM "${PROGRAMS_ENTRY}" "InstallLocation"
    ${If} $0 == ""
        ReadRegStr $0 HKCU "SOFTWARE\Orvane\Quillet\Main" "Folder"
        ClearErrors
        EnumRegValue $1 HKCU "SOFTWARE\Orvane\Quillet\Save" 0
        ${IfThen} ${Errors} ${|} StrCpy $0 "" ${|}
    ${EndIf}
    ${If} $0 != ""
    ${AndIf} ${FileExists} "$0\Quillet.exe"
        StrCpy $INSTDIR $0
        StrCpy $Updating 1
    ${EndIf}
FunctionEnd

Function DescribeUpdate
    StrCpy $UpdateNote ""
    StrCpy $WelcomeText "$(Q_WELCOME_TEXT)"
    ${If} $Updating = 1
        Push "$INSTDIR\Quillet.exe"
        Call DescribeFile
        Pop $0
        Push "$PLUGINSDIR\Quillet.exe"
        Call DescribeFile
        Pop $1
        StrCpy $UpdateNote "$\r$\n$\r$\n$(Q_UPDATE_INSTALLED) $0$\r$\n$(Q_UPDATE_REPLACEMENT) $1"
        StrCpy $WelcomeText "$(Q_WELCOME_UPDATE_TEXT)$UpdateNote"
        ${Log} "$(Q_UPDATE_INSTALLED) $0 ($INSTDIR)"
        ${Log} "$(Q_UPDATE_REPLACEMENT) $1"
    ${EndIf}
FunctionEnd

Function .onInit
    !insertmacro LOAD_SYSTEM_LIBRARIES
    !insertmacro SETUP_INIT_COMMON
    InitPluginsDir
    File "/oname=$PLUGINSDIR\Pellow.dll" "${BIN_DIR}/Pellow.dll"
    File "/oname=$PLUGINSDIR\Quillet.exe" "${BIN_DIR}/Quillet.exe"
    Call RefusePackageCopy
    Call FindInstalledCopy
    ${Log} "$(Q_LOG_SETUP) $INSTDIR"
    Call DescribeUpdate
FunctionEnd

Function SkipFolderOnUpdate
    ${IfThen} $Updating = 1 ${|} Abort ${|}
FunctionEnd

; Takes back what a new installation put down (an update keeps its files).
Function RemoveFreshInstall
    Call SyncUserRecord
    ${IfThen} $Updating = 1 ${|} Return ${|}
    Delete "$INSTDIR\Quillet.exe"
    Delete "$INSTDIR\Spirel.dll"
    Delete "$INSTDIR\Pellow.dll"
    Delete "$INSTDIR\ErrorBrowser.log"
    Delete "$INSTDIR\Uninstall.exe"
    RMDir "$INSTDIR"
    RMDir "$INSTDIR\.."
FunctionEnd

Section "Quillet"
    SectionIn RO
    Call RequireQuilletIdle
    Call InstallProgramFiles
    ClearErrors
    ${If} $R8 = 1
        WriteUninstaller "$INSTDIR\Uninstall.exe"
    ${Else}
        SetErrors
    ${EndIf}
    ${If} ${Errors}
        ${Log} "$(Q_FILES_FAILED) $INSTDIR"
        ${Log} "$(Q_LOG_EXIT) ${EXIT_FAILED}"
        SetErrorLevel ${EXIT_FAILED}
        Call ReleasePellow
        Abort
    ${EndIf}
    Call PrepareUserRecords
    Call RunTakeover
    Call SyncUserRecord
    Call CreateShortcuts
    Call WriteProgramsEntry
    Call RemoveWayBack
    WriteRegStr HKLM "${PACKAGE_KEY}" "${UNINSTALLER_VALUE}" "$INSTDIR\Uninstall.exe"
    Push ${LOGON_TAKEOVER}
    Call SetLogonStep
    Call ReleasePellow
    ${If} $TakeoverDone = 1
        StrCpy $FinishNote "$(Q_FINISH_DONE)"
        ${If} $HeldNote != ""
            StrCpy $FinishNote "$FinishNote$\r$\n$\r$\n$(Q_FINISH_HELD)$HeldNote"
        ${EndIf}
        ${Log} "$(Q_LOG_EXIT) ${EXIT_DONE}"
    ${Else}
        StrCpy $FinishNote "$(Q_FINISH_PARTLY)"
        ${IfThen} $TakeoverDone = 2 ${|} StrCpy $FinishNote "$(Q_FINISH_CHANGED)" ${|}
        ${Log} "$(Q_LOG_EXIT) ${EXIT_PARTLY}"
        SetErrorLevel ${EXIT_PARTLY}
    ${EndIf}
SectionEnd

!include Uninstall.nsh
