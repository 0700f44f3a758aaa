; The uninstaller: the same wait as an update, then "Quillet.exe -UNINSTALL"
; gives the links back from the save area. Only a complete restore lets the
; files go: with keys still wrapped, Quillet.exe must stay to run them, and
; the save area must stay for the next try.
!define PRODUCT_KEY "SOFTWARE\Orvane\Quillet"
!define CLEANUP_COPY "QuilletUninstallCleanup.exe"
!define CLEANUP_SWITCH "/CLEANUP"
!define CLEANUP_WAIT_MS 20000

; Quillet.exe -UNINSTALL's exit code into $R9 ("not installed" without Quillet.exe).
Function un.RestoreAssociations
    StrCpy $R9 ${QUILLET_UNINSTALL_NOTHING}
    ${IfNot} ${FileExists} "$INSTDIR\Quillet.exe"
        Return
    ${EndIf}
    ClearErrors
    ExecWait '"$INSTDIR\Quillet.exe" -UNINSTALL' $R9
    ${IfThen} ${Errors} ${|} StrCpy $R9 ${QUILLET_UNINSTALL_PARTLY} ${|}
    ${un.Log} "$(Q_LOG_QUILLET_EXIT) (-UNINSTALL): $R9"
FunctionEnd

Function un.RemoveFiles
    !insertmacro REMOVE_SHORTCUTS
    Delete "$INSTDIR\Quillet.exe"
    Delete "$INSTDIR\Spirel.dll"
    Delete "$INSTDIR\Pellow.dll"
    Delete "${BADGED_BROWSER_ICON}"
    Delete "$INSTDIR\ErrorBrowser.log"
    Delete "$INSTDIR\HookWnd.log"
    Call un.RemoveUninstaller
    DeleteRegKey HKLM "${PROGRAMS_ENTRY}"
    ; The settings, and the product's keys (on Windows 2000 also under
    ; HKEY_LOCAL_MACHINE), now that no save area is left in them.
    DeleteRegKey HKCU "${PRODUCT_KEY}"
    DeleteRegKey /ifempty HKCU "SOFTWARE\Orvane"
    DeleteRegKey HKLM "${PRODUCT_KEY}"
    DeleteRegKey /ifempty HKLM "SOFTWARE\Orvane"
FunctionEnd

Section Uninstall
    ${un.Log} "$(Q_LOG_UNINSTALL) $INSTDIR"
    Call un.RequireQuilletIdle
    Call un.RestoreAssociations
    ; Anything but the two clean answers (a crash, too) counts as incomplete.
    ${If} $R9 != ${QUILLET_UNINSTALL_DONE}
    ${AndIf} $R9 != ${QUILLET_UNINSTALL_NOTHING}
        ${un.Log} "$(Q_RESTORE_PARTLY)"
        MessageBox MB_OK|MB_ICONEXCLAMATION "$(Q_RESTORE_PARTLY)" /SD IDOK
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
    Call un.RemoveFiles
    Call un.ReleasePellow
    ${un.Log} "$(Q_REMOVED)"
    ${un.Log} "$(Q_LOG_EXIT) ${EXIT_DONE}"
SectionEnd

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
    ${GetParameters} $0
    ClearErrors
    ${GetOptions} $0 "${CLEANUP_SWITCH}" $1
    ${IfNot} ${Errors}
        Call un.CleanUpAfterUninstaller
        Quit
    ${EndIf}
    !insertmacro SETUP_INIT_COMMON
    InitPluginsDir
    CopyFiles /SILENT "$INSTDIR\Pellow.dll" "$PLUGINSDIR"
FunctionEnd
