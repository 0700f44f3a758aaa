; What Quillet's Windows Installer package (Quillet.wxs) runs: this
; uninstaller, as "Uninstall.exe /S /PACKAGE=step _?=folder", so that the
; package keeps the setup program's logon step, users' list and give-back
; instead of a second copy of them. Each step answers with the setup's exit
; codes; the package rolls back on a failed check, remove or wayback, never
; on a refused takeover (the takeover runs last, and nothing undoes it).
!define PACKAGE_SWITCH "/PACKAGE="
!define PACKAGE_CHECK "check"
!define PACKAGE_MACHINE "machine"
!define PACKAGE_TAKEOVER "takeover"
!define PACKAGE_REMOVE "remove"
!define PACKAGE_WAY_BACK "wayback"
; The removing package's product code, for remove and wayback.
!define PRODUCT_SWITCH "/PRODUCT="
; The package's mark, a value of its Registry table: the copy in the folder
; is Windows Installer's, which alone may replace or remove it.
!define PACKAGE_KEY "SOFTWARE\Orvane\Quillet"
!define PACKAGE_VALUE "Package"
; The installed uninstaller, written by both installers: the package's
; check runs it before Windows Installer replaces any file.
!define UNINSTALLER_VALUE "Uninstaller"
; Beside the program folder: what a removed package leaves for the users
; whose links still run Quillet (a copy of this uninstaller and of
; Quillet.exe), run by their logon step; the last of them removes it.
!define WAY_BACK_FOLDER "Quillet way back"
!define LOCAL_SYSTEM_SID "S-1-5-18"
!define TOKEN_QUERY 8
!define TOKEN_USER_CLASS 1
!define TOKEN_USER_BYTES 128

!macro PACKAGE_FUNCTIONS UN
; The setup program and the uninstaller run by hand refuse the package's
; copy: Windows Installer would go on naming files that are no longer its.
Function ${UN}RefusePackageCopy
    ReadRegStr $R9 HKLM "${PACKAGE_KEY}" "${PACKAGE_VALUE}"
    ${IfThen} $R9 == "" ${|} Return ${|}
    !insertmacro SETUP_LOG "${UN}" "$(Q_PACKAGE_OWNS_COPY)"
    !insertmacro SETUP_LOG "${UN}" "$(Q_LOG_EXIT) ${EXIT_OTHER_INSTALLER}"
    MessageBox MB_OK|MB_ICONSTOP "$(Q_PACKAGE_OWNS_COPY)" /SD IDOK
    SetErrorLevel ${EXIT_OTHER_INSTALLER}
    Quit
FunctionEnd

; The folder of the way back into $R9.
Function ${UN}WayBackFolder
    ${GetParent} "$INSTDIR" $R9
    StrCpy $R9 "$R9\${WAY_BACK_FOLDER}"
FunctionEnd

; An install over a removed package's way back takes its users on itself.
Function ${UN}RemoveWayBack
    Call ${UN}WayBackFolder
    Delete "$R9\Uninstall.exe"
    Delete "$R9\Quillet.exe"
    Delete "$R9\ErrorBrowser.log"
    RMDir "$R9"
FunctionEnd
!macroend

; 1 into $R9 when this process runs as LocalSystem: Group Policy's install
; at the machine's start, which takes over nobody's links.
Function un.IsLocalSystem
    Push $0
    Push $1
    Push $2
    Push $3
    StrCpy $R9 0
    System::Call 'advapi32::OpenProcessToken(p -1, i ${TOKEN_QUERY}, *p .r0) i .r1'
    ${IfThen} $1 = 0 ${|} Goto done ${|}
    System::Alloc ${TOKEN_USER_BYTES}
    Pop $2
    System::Call 'advapi32::GetTokenInformation(p r0, i ${TOKEN_USER_CLASS}, p r2, i ${TOKEN_USER_BYTES}, *i .r3) i .r1'
    ${If} $1 <> 0
        System::Call '*$2(p .r3)'
        System::Call 'advapi32::ConvertSidToStringSidW(p r3, *p .r3) i .r1'
        ${If} $1 <> 0
            System::Call '*$3(&w64 .r1)'
            System::Call 'kernel32::LocalFree(p r3)'
            ${IfThen} $1 == "${LOCAL_SYSTEM_SID}" ${|} StrCpy $R9 1 ${|}
        ${EndIf}
    ${EndIf}
    System::Free $2
    System::Call 'kernel32::CloseHandle(p r0)'
done:
    Pop $3
    Pop $2
    Pop $1
    Pop $0
FunctionEnd

; After the files, as Windows Installer's own account: the users' list, the
; logon step of every user, and one entry for the folder (the setup
; program's copy there, if any, is the package's from now on).
Function un.PackageMachineStep
    Call un.PrepareUserRecords
    DeleteRegKey HKLM "${PROGRAMS_ENTRY}"
    Call un.RemoveWayBack
    WriteRegStr HKLM "${PACKAGE_KEY}" "${UNINSTALLER_VALUE}" "$INSTDIR\Uninstall.exe"
    Push ${LOGON_TAKEOVER}
    Call un.SetLogonStep
    SetErrorLevel ${EXIT_DONE}
FunctionEnd

; Last, as the user who installs: that user's links, as the setup takes
; them over. A refusal is logged and leaves the package installed.
Function un.PackageTakeover
    Push $0
    Call un.IsLocalSystem
    ${If} $R9 = 1
        ${un.Log} "$(Q_PACKAGE_BY_SYSTEM)"
        SetErrorLevel ${EXIT_DONE}
    ${Else}
        Call un.TakeOverUserLinks
        ReadRegStr $0 HKLM "${ACTIVE_SETUP_KEY}" "Version"
        WriteRegStr HKCU "${ACTIVE_SETUP_KEY}" "Version" $0
    ${EndIf}
    Pop $0
FunctionEnd

; Before the files go, as the user who removes the package: that user's
; links come back as the uninstaller gives them back. What cannot come back
; now comes back at the next logon, through the way back.
Function un.PackageGiveBack
    Call un.RequireQuilletIdle
    Call un.IsLocalSystem
    ${If} $R9 = 1
        ${un.Log} "$(Q_PACKAGE_REMOVED_BY_SYSTEM)"
        SetErrorLevel ${EXIT_DONE}
        Return
    ${EndIf}
    Call un.RestoreAssociations
    Push $R9
    Call un.SyncUserRecord
    Pop $R9
    ${If} $R9 == ${QUILLET_UNINSTALL_DONE}
    ${OrIf} $R9 == ${QUILLET_UNINSTALL_NOTHING}
        ${un.Log} "$(Q_RESTORE_DONE)"
        Call un.RemoveUserParts
        Call un.OtherUserRecords
        ${IfThen} $R9 == "" ${|} DeleteRegKey HKCU "${ACTIVE_SETUP_KEY}" ${|}
    ${Else}
        ${un.Log} "$(Q_RESTORE_AT_LOGON)"
    ${EndIf}
    SetErrorLevel ${EXIT_DONE}
FunctionEnd

; Before the files go, as Windows Installer's own account: with no user's
; links left to give back, what the steps made goes with the package;
; otherwise the way back is made, and the package's removal fails when it
; cannot be, rather than leave links that nothing gives back.
Function un.PackageWayBack
    Push $0
    ; Windows Installer would leave these, and the folder with them.
    Call un.RemoveWrittenFiles
    Call un.AllUserRecords
    ${If} $R9 == ""
        Call un.RemoveMachineRecords
        Call un.RemoveWayBack
        SetErrorLevel ${EXIT_DONE}
        Pop $0
        Return
    ${EndIf}
    StrCpy $0 $R9
    Call un.WayBackFolder
    CreateDirectory $R9
    ClearErrors
    CopyFiles /SILENT "$INSTDIR\Quillet.exe" "$R9"
    CopyFiles /SILENT "$EXEPATH" "$R9"
    ${If} ${Errors}
    ${OrIfNot} ${FileExists} "$R9\Quillet.exe"
    ${OrIfNot} ${FileExists} "$R9\Uninstall.exe"
        ${un.Log} "$(Q_NO_WAY_BACK) $R9"
        ${un.Log} "$(Q_LOG_EXIT) ${EXIT_FAILED}"
        SetErrorLevel ${EXIT_FAILED}
        Pop $0
        Return
    ${EndIf}
    DeleteRegValue HKLM "${PACKAGE_KEY}" "${UNINSTALLER_VALUE}"
    StrCpy $INSTDIR $R9
    Push ${LOGON_GIVE_BACK}
    Call un.SetLogonStep
    ${un.Log} "$(Q_WAY_BACK) $INSTDIR:$0"
    SetErrorLevel ${EXIT_DONE}
    Pop $0
FunctionEnd

; 1 into $R9 when the removing package is not the one the mark names: an
; upgrade removes the package it replaces after the newer one is in place.
Function un.IsUpgradeRemoval
    Push $0
    Push $1
    ${GetParameters} $0
    ${GetOptions} $0 "${PRODUCT_SWITCH}" $0
    ReadRegStr $1 HKLM "${PACKAGE_KEY}" "${PACKAGE_VALUE}"
    StrCpy $R9 0
    ${If} $1 != ""
    ${AndIf} $1 != $0
        StrCpy $R9 1
    ${EndIf}
    Pop $1
    Pop $0
FunctionEnd

; Runs the step the package named, then ends the uninstaller.
Function un.RunPackageStep
    ${un.Log} "$(Q_LOG_PACKAGE_STEP) $PackageStep: $INSTDIR"
    StrCpy $R9 0
    ${If} $PackageStep == ${PACKAGE_REMOVE}
    ${OrIf} $PackageStep == ${PACKAGE_WAY_BACK}
        Call un.IsUpgradeRemoval
    ${EndIf}
    ${If} $R9 = 1
        ${un.Log} "$(Q_UPGRADE_REMOVAL)"
        SetErrorLevel ${EXIT_DONE}
    ${ElseIf} $PackageStep == ${PACKAGE_CHECK}
        Call un.RequireQuilletIdle
        SetErrorLevel ${EXIT_DONE}
    ${ElseIf} $PackageStep == ${PACKAGE_MACHINE}
        Call un.PackageMachineStep
    ${ElseIf} $PackageStep == ${PACKAGE_TAKEOVER}
        Call un.PackageTakeover
    ${ElseIf} $PackageStep == ${PACKAGE_REMOVE}
        Call un.PackageGiveBack
    ${ElseIf} $PackageStep == ${PACKAGE_WAY_BACK}
        Call un.PackageWayBack
    ${Else}
        SetErrorLevel ${EXIT_FAILED}
    ${EndIf}
    Call un.ReleasePellow
    Quit
FunctionEnd
