; Before files are replaced or removed: the protected browser windows that
; the running Quillet tracks must be closed (Quillet then ends by itself and
; unhooks), and Spirel.dll must have left every process it was hooked into,
; or Windows keeps the file locked. A silent run waits up to /WAIT seconds
; in all and never asks.
!define HOOK_LIBRARY_ASK_AFTER_MS 5000
!define HOOK_LIBRARY_SILENT_MIN_MS 2000
!define TOKEN_ADJUST_PRIVILEGES_QUERY 0x28
!define SE_PRIVILEGE_ENABLED 2

!macro QUILLET_IDLE_FUNCTIONS UN
; Leaves "done", "cancel" or "timeout" in $R8.
Function ${UN}WaitUntilQuilletIsIdle
    Push $0
    Push $1
    Push $2
    StrCpy $1 0
    StrCpy $R8 done
windows:
    Call ${UN}ListProtectedWindows
    ${If} $R9 != ""
        ${IfNot} ${Silent}
            MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$(Q_CLOSE_WINDOWS)$\r$\n$\r$\n$R9" IDRETRY windows
            StrCpy $R8 cancel
            Goto end
        ${EndIf}
        ${If} $1 = 0
            !insertmacro SETUP_LOG "${UN}" "$(Q_CLOSE_WINDOWS)$\r$\n$R9"
        ${EndIf}
        ${If} $1 >= $WaitLimitMs
            StrCpy $R8 timeout
            Goto end
        ${EndIf}
        Sleep 500
        IntOp $1 $1 + 500
        Goto windows
    ${EndIf}
    ; The list above holds this session's windows only. A Quillet of another
    ; session (another user's, or this user's after a switch) tracks windows
    ; that cannot be listed from here: it has to end as well.
    Call ${UN}RemainingWaitMs
    Push ${SE_PRIVILEGE_ENABLED}
    Call ${UN}SetDebugPrivilege
    System::Call '${PELLOW}::IsCloseModule(m "$INSTDIR\Quillet.exe", i r0) i .r2'
    Push 0
    Call ${UN}SetDebugPrivilege
    IntOp $2 $2 & 0xFF
    ${If} $2 = 0
        ${IfNot} ${Silent}
            MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$(Q_QUILLET_ELSEWHERE)" IDRETRY windows
            StrCpy $R8 cancel
            Goto end
        ${EndIf}
        !insertmacro SETUP_LOG "${UN}" "$(Q_QUILLET_ELSEWHERE)"
        StrCpy $R8 timeout
        Goto end
    ${EndIf}
    ; Another session's programs that hold Spirel.dll, too, are seen only
    ; with the privilege; the nudge reaches this desktop's alone, so a
    ; library held there keeps the run from changing anything.
    Call ${UN}RemainingWaitMs
    Push ${SE_PRIVILEGE_ENABLED}
    Call ${UN}SetDebugPrivilege
    Push $0
    Call ${UN}WaitForHookLibrary
    Pop $0
    Push 0
    Call ${UN}SetDebugPrivilege
    ${If} $0 = 0
        ${IfNot} ${Silent}
            MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$(Q_HOOK_LIBRARY_LOADED)" IDRETRY windows
            StrCpy $R8 cancel
            Goto end
        ${EndIf}
        !insertmacro SETUP_LOG "${UN}" "$(Q_HOOK_LIBRARY_LOADED)"
        StrCpy $R8 timeout
    ${EndIf}
end:
    Pop $2
    Pop $1
    Pop $0
FunctionEnd

; Another user's processes let an administrator read their modules only
; with SeDebugPrivilege enabled; an account without it sees its own
; sessions' processes, as before. Enabled (SE_PRIVILEGE_ENABLED on the
; stack) for that look only, and disabled again (0), so that the programs
; this run starts do not inherit it.
Function ${UN}SetDebugPrivilege
    Exch $3
    Push $0
    Push $1
    Push $2
    System::Call 'kernel32::GetCurrentProcess() p .r0'
    System::Call 'advapi32::OpenProcessToken(p r0, i ${TOKEN_ADJUST_PRIVILEGES_QUERY}, *p .r2) i .r0'
    ${If} $0 <> 0
        System::Call 'advapi32::LookupPrivilegeValueW(p 0, w "SeDebugPrivilege", *l .r1) i .r0'
        ${If} $0 <> 0
            System::Call 'advapi32::AdjustTokenPrivileges(p r2, i 0, *(i 1, l r1, i r3), i 0, p 0, p 0) i .r0'
        ${EndIf}
        System::Call 'kernel32::CloseHandle(p r2)'
    ${EndIf}
    Pop $2
    Pop $1
    Pop $0
    Pop $3
FunctionEnd

; How long the next wait may last into $0: a silent run has what is left of
; its time ($1 spent), at least a short slice; a run with pages asks after
; a few seconds.
Function ${UN}RemainingWaitMs
    StrCpy $0 ${HOOK_LIBRARY_ASK_AFTER_MS}
    ${If} ${Silent}
        IntOp $0 $WaitLimitMs - $1
        ${If} $0 < ${HOOK_LIBRARY_SILENT_MIN_MS}
            StrCpy $0 ${HOOK_LIBRARY_SILENT_MIN_MS}
        ${EndIf}
    ${EndIf}
    ; A logon step looks once and waits for nothing (a time of 0 would
    ; answer "still loaded" without looking).
    ${IfThen} $LogonStep != "" ${|} StrCpy $0 1 ${|}
FunctionEnd

; Ends the run when Quillet did not become idle; nothing is changed yet.
Function ${UN}RequireQuilletIdle
    Call ${UN}WaitUntilQuilletIsIdle
    ${If} $R8 == done
        Return
    ${EndIf}
    ${If} $R8 == timeout
        Call ${UN}RunLogonStepAgain
        !insertmacro SETUP_LOG "${UN}" "$(Q_STILL_RUNNING)"
        !insertmacro SETUP_LOG "${UN}" "$(Q_LOG_EXIT) ${EXIT_STILL_RUNNING}"
        SetErrorLevel ${EXIT_STILL_RUNNING}
    ${Else}
        !insertmacro SETUP_LOG "${UN}" "$(Q_CANCELLED)"
        !insertmacro SETUP_LOG "${UN}" "$(Q_LOG_EXIT) ${EXIT_CANCELLED}"
        SetErrorLevel ${EXIT_CANCELLED}
    ${EndIf}
    Call ${UN}ReleasePellow
    ${If} ${Silent}
        Quit
    ${EndIf}
    Abort
FunctionEnd
!macroend
