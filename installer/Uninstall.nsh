; The uninstaller: the same wait as an update, then "Quillet.exe -UNINSTALL"
; gives the running user's links back from the save area. Only a complete
; restore lets the files go: with keys still wrapped, Quillet.exe must stay
; to run them, and the save area must stay for the next try. Nor do they go
; while another user's links still run Quillet (UserRecords.nsh): those
; users get theirs back at their next logon (ActiveSetup.nsh), which runs
; this uninstaller too, and the last one removes the files.
!define PRODUCT_KEY "SOFTWARE\Orvane\Quillet"
!define CLEANUP_COPY "QuilletUninstallCleanup.exe"
!define CLEANUP_SWITCH "/CLEANUP"
!define CLEANUP_WAIT_MS 20000

!define LOCK_KEY "${PRODUCT_KEY}\Lock"
!define LOCK_SNAPSHOT "SaveSD0"
!define UNINSTALL_NO_OWN_COPY 99


; Quillet.exe -UNINSTALL's exit code into $R9 ("not installed" without a
; save area). The uninstaller carries a copy of Quillet.exe of its own: when
; the installed one is missing, the links that still name it are given back
; by that copy, put in its place (the takeover's records name that path).
; When it cannot be put there, $R9 is UNINSTALL_NO_OWN_COPY and nothing is
; removed. While other users' links still run Quillet, the machine-wide
; takeover of Windows 2000, which they share, stays for the last of them.
Function un.RestoreAssociations
    Push $0
    Call un.GiveBackSwitch
    StrCpy $0 $R9
    Call un.HasSaveArea
    ${If} $R9 = 0
    ${AndIf} $0 == ""
        !insertmacro HAS_SAVE_AREA HKLM
    ${EndIf}
    ${If} $R9 = 0
        StrCpy $R9 ${QUILLET_UNINSTALL_NOTHING}
        Pop $0
        Return
    ${EndIf}
    ${IfNot} ${FileExists} "$INSTDIR\Quillet.exe"
        ClearErrors
        CopyFiles /SILENT "$PLUGINSDIR\Quillet.exe" "$INSTDIR"
        ${If} ${Errors}
        ${OrIfNot} ${FileExists} "$INSTDIR\Quillet.exe"
            StrCpy $R9 ${UNINSTALL_NO_OWN_COPY}
            ${un.Log} "$(Q_NO_OWN_COPY)"
            Pop $0
            Return
        ${EndIf}
        ${un.Log} "$(Q_OWN_COPY)"
    ${EndIf}
    ClearErrors
    ExecWait '"$INSTDIR\Quillet.exe" -UNINSTALL$0' $R9
    ${IfThen} ${Errors} ${|} StrCpy $R9 ${QUILLET_UNINSTALL_PARTLY} ${|}
    ${un.Log} "$(Q_LOG_QUILLET_EXIT) (-UNINSTALL$0): $R9"
    Pop $0
FunctionEnd

; The lock's snapshot is, after a crashed run, the only record of the
; COM-server key's permissions: a Lock key that still holds it stays.
; 1 into $R9 when it does.
Function un.HasLockSnapshot
    Push $0
    Push $1
    StrCpy $R9 0
    StrCpy $0 0
    ${Do}
        ClearErrors
        EnumRegValue $1 HKLM "${LOCK_KEY}" $0
        ${IfThen} ${Errors} ${|} ${ExitDo} ${|}
        ${IfThen} $1 == "" ${|} ${ExitDo} ${|}
        ${If} $1 == "${LOCK_SNAPSHOT}"
            StrCpy $R9 1
            ${ExitDo}
        ${EndIf}
        IntOp $0 $0 + 1
    ${Loop}
    Pop $1
    Pop $0
FunctionEnd

; The product's machine-wide key (on Windows 2000 with the machine-wide
; save area, now given back), but a Lock key that holds a snapshot.
Function un.RemoveMachineProductKey
    Push $0
    Call un.HasLockSnapshot
    ${If} $R9 = 0
        DeleteRegKey HKLM "${PRODUCT_KEY}"
    ${Else}
        ${un.Log} "$(Q_LOCK_KEPT) HKLM\${LOCK_KEY}"
        ${Do}
            ClearErrors
            EnumRegKey $0 HKLM "${PRODUCT_KEY}" 0
            ${If} $0 == "Lock"
                ClearErrors
                EnumRegKey $0 HKLM "${PRODUCT_KEY}" 1
            ${EndIf}
            ${IfThen} ${Errors} ${|} ${ExitDo} ${|}
            ${IfThen} $0 == "" ${|} ${ExitDo} ${|}
            DeleteRegKey HKLM "${PRODUCT_KEY}\$0"
        ${Loop}
    ${EndIf}
    DeleteRegKey /ifempty HKLM "SOFTWARE\Orvane"
    Pop $0
FunctionEnd

; What belongs to the running user alone. The user's copy of the logon
; step's Version stays while the step does, or every logon would run it.
Function un.RemoveUserParts
    !insertmacro REMOVE_SHORTCUTS
    DeleteRegKey HKCU "${PRODUCT_KEY}"
    DeleteRegKey /ifempty HKCU "SOFTWARE\Orvane"
    Delete "${USER_LOG_FOLDER}\ErrorBrowser.log"
    Delete "${USER_LOG_FOLDER}\HookWnd.log"
    RMDir "${USER_LOG_FOLDER}"
    RMDir "${USER_LOG_FOLDER}\.."
FunctionEnd

; What Quillet and the setup write into the program folder beside its
; files: no installer's list of files names them.
Function un.RemoveWrittenFiles
    Delete "${BADGED_BROWSER_ICON}"
    Delete "$INSTDIR\ErrorBrowser.log"
    Delete "$INSTDIR\HookWnd.log"
FunctionEnd

; What the machine keeps for its users once none is left: the logon step,
; the product's keys and the users' list.
Function un.RemoveMachineRecords
    DeleteRegKey HKLM "${ACTIVE_SETUP_KEY}"
    Call un.RemoveMachineProductKey
    Call un.UserRecordsFolder
    RMDir $R9
    SetShellVarContext all
    RMDir "$APPDATA\Orvane\Quillet"
    RMDir "$APPDATA\Orvane"
    SetShellVarContext current
FunctionEnd

Function un.RemoveFiles
    Call un.RemoveUserParts
    Delete "$INSTDIR\Quillet.exe"
    Delete "$INSTDIR\Spirel.dll"
    Delete "$INSTDIR\Pellow.dll"
    Call un.RemoveWrittenFiles
    DeleteRegKey HKLM "${PROGRAMS_ENTRY}"
    Call un.RemoveMachineRecords
    ClearErrors
    ReadRegStr $R9 HKLM "${ACTIVE_SETUP_KEY}" "StubPath"
    ${If} ${Errors}
        DeleteRegKey HKCU "${ACTIVE_SETUP_KEY}"
    ${EndIf}
    Call un.ReportLeftForAdministrator
    Call un.RemoveUninstaller
FunctionEnd

; A limited user's step, the last at logon, cannot remove Program Files'
; files nor HKLM's keys: they stay for an administrator's uninstall, which
; then finds no user left and removes them.
Function un.ReportLeftForAdministrator
    Push $0
    StrCpy $0 ""
    ${IfThen} ${FileExists} "$INSTDIR\Quillet.exe" ${|} StrCpy $0 "$0$\r$\n    $INSTDIR" ${|}
    ClearErrors
    EnumRegValue $R9 HKLM "${PROGRAMS_ENTRY}" 0
    ${IfNot} ${Errors}
        StrCpy $0 "$0$\r$\n    HKLM\${PROGRAMS_ENTRY}"
    ${EndIf}
    ${If} $0 != ""
        ${un.Log} "$(Q_LEFT_FOR_ADMIN)$0"
    ${EndIf}
    Pop $0
FunctionEnd

; The uninstall of one user while other users' links still run Quillet:
; the files and the entry stay, and every user's next logon gives that
; user's links back (the last one removes Quillet). A logon step leaves the
; step as it is, or the users who ran it already would run it again.
Function un.KeepForOtherUsers
    Exch $0
    ${un.Log} "$(Q_OTHER_USERS_LEFT)$0"
    Call un.RemoveUserParts
    ${If} $LogonStep == ""
        Push ${LOGON_GIVE_BACK}
        Call un.SetLogonStep
    ${EndIf}
    Pop $0
FunctionEnd

Section Uninstall
    ${un.Log} "$(Q_LOG_UNINSTALL) $INSTDIR"
    ${If} $LogonStep != ""
        Call un.AccountName
        ${un.Log} "$(Q_LOGON_STEP) $R9: $LogonStep"
    ${EndIf}
    Call un.RequireQuilletIdle
    Call un.RestoreAssociations
    ; Anything but the two clean answers (a crash, too) counts as incomplete.
    ${If} $R9 != ${QUILLET_UNINSTALL_DONE}
    ${AndIf} $R9 != ${QUILLET_UNINSTALL_NOTHING}
        Call un.SyncUserRecord
        ${If} $R9 != ${UNINSTALL_NO_OWN_COPY}
            ${un.Log} "$(Q_RESTORE_PARTLY)"
            MessageBox MB_OK|MB_ICONEXCLAMATION "$(Q_RESTORE_PARTLY)" /SD IDOK
        ${Else}
            MessageBox MB_OK|MB_ICONEXCLAMATION "$(Q_NO_OWN_COPY)" /SD IDOK
        ${EndIf}
        Call un.RunLogonStepAgain
        ${un.Log} "$(Q_LOG_EXIT) ${EXIT_PARTLY}"
        SetErrorLevel ${EXIT_PARTLY}
        Call un.ReleasePellow
        Return
    ${EndIf}
    ${If} $R9 == ${QUILLET_UNINSTALL_DONE}
        ${un.Log} "$(Q_RESTORE_DONE)"
    ${Else}
        ${un.Log} "$(Q_RESTORE_NOTHING)"
    ${EndIf}
    Call un.SyncUserRecord
    Call un.OtherUserRecords
    ${If} $R9 != ""
        Push $R9
        Call un.KeepForOtherUsers
        Call un.ReleasePellow
        ${un.Log} "$(Q_LOG_EXIT) ${EXIT_DONE}"
        Return
    ${EndIf}
    Call un.RemoveFiles
    Call un.ReleasePellow
    ${un.Log} "$(Q_REMOVED)"
    ${un.Log} "$(Q_LOG_EXIT) ${EXIT_DONE}"
SectionEnd

; A user's logon step taking the links over, after an install or update.
Function un.LogonTakeover
    Call un.AccountName
    ${un.Log} "$(Q_LOGON_STEP) $R9: ${LOGON_TAKEOVER}"
    Call un.TakeOverUserLinks
FunctionEnd

; The running user's links taken over, and the user listed while they are.
Function un.TakeOverUserLinks
    Push $0
    StrCpy $0 ""
    ClearErrors
    ExecWait '"$INSTDIR\Quillet.exe" -INSTALL' $0
    ${un.Log} "$(Q_LOG_QUILLET_EXIT) (-INSTALL): $0"
    Call un.SyncUserRecord
    ${If} $0 == ${QUILLET_INSTALL_DONE}
        Call un.AccountName
        ${un.Log} "$(Q_TAKEOVER_DONE) $R9"
        ${un.Log} "$(Q_LOG_EXIT) ${EXIT_DONE}"
        ; Quit in un.onInit answers 2 unless told otherwise.
        SetErrorLevel ${EXIT_DONE}
    ${Else}
        Call un.ReadTakeoverLog
        ${un.Log} "$(Q_LOGON_FINDINGS)$R9"
        ${un.Log} "$(Q_FINISH_PARTLY)"
        ${un.Log} "$(Q_LOG_EXIT) ${EXIT_PARTLY}"
        SetErrorLevel ${EXIT_PARTLY}
    ${EndIf}
    Pop $0
FunctionEnd

; Started from its own folder with _?= (QuietUninstallString does that, so
; that a deployment script waits for the real exit code), the uninstaller
; cannot delete its own file: a copy in %TEMP% does, once this process is
; gone. Otherwise NSIS already runs a copy in %TEMP%.
Function un.RemoveUninstaller
    ${If} $EXEDIR != $INSTDIR
        Delete "$INSTDIR\Uninstall.exe"
        RMDir "$INSTDIR"
        RMDir "$INSTDIR\.."
        Return
    ${EndIf}
    CopyFiles /SILENT "$EXEPATH" "$TEMP\${CLEANUP_COPY}"
    Exec '"$TEMP\${CLEANUP_COPY}" /S ${CLEANUP_SWITCH} _?=$INSTDIR'
FunctionEnd

; The copy's whole job: wait for the uninstaller to end, then remove its
; file and the emptied folders. The copy itself goes at the next restart.
Function un.CleanUpAfterUninstaller
    Push $0
    StrCpy $0 0
    ${Do}
        Delete "$INSTDIR\Uninstall.exe"
        ${IfNot} ${FileExists} "$INSTDIR\Uninstall.exe"
            ${ExitDo}
        ${EndIf}
        Sleep 100
        IntOp $0 $0 + 100
    ${LoopUntil} $0 >= ${CLEANUP_WAIT_MS}
    RMDir "$INSTDIR"
    RMDir "$INSTDIR\.."
    Delete /REBOOTOK "$EXEPATH"
    Pop $0
FunctionEnd

Function un.onInit
    !insertmacro LOAD_SYSTEM_LIBRARIES
    ${GetParameters} $0
    ClearErrors
    ${GetOptions} $0 "${CLEANUP_SWITCH}" $1
    ${IfNot} ${Errors}
        Call un.CleanUpAfterUninstaller
        Quit
    ${EndIf}
    !insertmacro SETUP_INIT_COMMON
    InitPluginsDir
    ; Its own helper and its own Quillet.exe: the installed ones may be gone.
    File "/oname=$PLUGINSDIR\Pellow.dll" "${BIN_DIR}/Pellow.dll"
    File "/oname=$PLUGINSDIR\Quillet.exe" "${BIN_DIR}/Quillet.exe"
    ; Windows Installer names folders with a closing backslash.
    StrCpy $1 $INSTDIR "" -1
    ${IfThen} $1 == "\" ${|} StrCpy $INSTDIR $INSTDIR -1 ${|}
    StrCpy $PackageStep ""
    ClearErrors
    ${GetOptions} $0 "${PACKAGE_SWITCH}" $PackageStep
    ${IfThen} $PackageStep != "" ${|} Call un.RunPackageStep ${|}
    StrCpy $LogonStep ""
    ClearErrors
    ${GetOptions} $0 "${LOGON_SWITCH}" $LogonStep
    ${IfThen} $LogonStep == "" ${|} Call un.RefusePackageCopy ${|}
    ${If} $LogonStep != ""
        StrCpy $WaitLimitMs 0
        DeleteRegValue HKCU "${RUN_ONCE_KEY}" "${RUN_ONCE_VALUE}"
    ${EndIf}
    ${If} $LogonStep == ${LOGON_TAKEOVER}
        Call un.LogonTakeover
        Quit
    ${EndIf}
FunctionEnd
