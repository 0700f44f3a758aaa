; Before files are replaced or removed: the protected browser windows that
; the running Quillet tracks must be closed (Quillet then ends by itself and
; unhooks), and Spirel.dll must have left every process it was hooked into,
; or Windows keeps the file locked. A silent run waits up to /WAIT seconds
; in all and never asks.
!define HOOK_LIBRARY_ASK_AFTER_MS 5000
!define HOOK_LIBRARY_SILENT_MIN_MS 2000

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
    System::Call '${PELLOW}::IsCloseModule(m "$INSTDIR\Quillet.exe", i r0) i .r2'
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
    Call ${UN}RemainingWaitMs
    Push $0
    Call ${UN}WaitForHookLibrary
    Pop $0
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
FunctionEnd

; Ends the run when Quillet did not become idle; nothing is changed yet.
Function ${UN}RequireQuilletIdle
    Call ${UN}WaitUntilQuilletIsIdle
    ${If} $R8 == done
        Return
    ${EndIf}
    ${If} $R8 == timeout
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
