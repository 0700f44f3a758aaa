; "Quillet.exe -INSTALL" wraps the web links' handlers, after copying them
; into its save area. When it refuses (exit code 1), nothing of the links
; was changed and ErrorBrowser.log next to Quillet.exe says why: the user
; reads it and chooses between a setup without the takeover and none.
; NSIS strings hold 1024 characters: the message and the log line take the
; findings only, not the checks that passed.
!define TAKEOVER_LOG_LINES 12

; The findings of ErrorBrowser.log into $R9, without the "-> Begin" and
; "-> Success" lines of the checks. Quillet ends each record with a lone
; carriage return, which FileRead takes as a line's end.
Function ReadTakeoverLog
    Push $0
    Push $1
    Push $2
    Push $3
    StrCpy $R9 ""
    StrCpy $2 0
    ClearErrors
    FileOpen $0 "$INSTDIR\ErrorBrowser.log" r
    ${If} ${Errors}
        StrCpy $R9 "$(Q_NO_LOG)"
        Goto done
    ${EndIf}
    ${Do}
        ClearErrors
        FileRead $0 $1
        ${IfThen} ${Errors} ${|} ${ExitDo} ${|}
        ${TrimNewLines} $1 $1
        ${IfThen} $1 == "" ${|} ${Continue} ${|}
        StrCpy $3 $1 "" -8
        ${IfThen} $3 == "-> Begin" ${|} ${Continue} ${|}
        StrCpy $3 $1 "" -10
        ${IfThen} $3 == "-> Success" ${|} ${Continue} ${|}
        StrCpy $R9 "$R9$\r$\n    $1"
        IntOp $2 $2 + 1
    ${LoopUntil} $2 >= ${TAKEOVER_LOG_LINES}
    FileClose $0
done:
    Pop $3
    Pop $2
    Pop $1
    Pop $0
FunctionEnd

; Runs the takeover; $TakeoverDone becomes 1 when the links are Quillet's.
; A refusal the user does not accept ends the setup (RemoveFreshInstall
; takes back the files of a new installation).
Function RunTakeover
    Push $0
    StrCpy $TakeoverDone 0
    StrCpy $0 ""
    ClearErrors
    ExecWait '"$INSTDIR\Quillet.exe" -INSTALL' $0
    ${Log} "$(Q_LOG_QUILLET_EXIT) (-INSTALL): $0"
    ${If} $0 == ${QUILLET_INSTALL_DONE}
    ${AndIfNot} ${Errors}
        StrCpy $TakeoverDone 1
        ${Log} "$(Q_TAKEOVER_DONE)"
        Pop $0
        Return
    ${EndIf}
    Call ReadTakeoverLog
    ${Log} "$(Q_TAKEOVER_REFUSED)$R9"
    MessageBox MB_YESNO|MB_ICONEXCLAMATION "$(Q_TAKEOVER_REFUSED)$\r$\n$R9$\r$\n$\r$\n$(Q_FINISH_WITHOUT)" \
        /SD IDYES IDYES accepted
    Call RemoveFreshInstall
    ${Log} "$(Q_CANCELLED)"
    ${Log} "$(Q_LOG_EXIT) ${EXIT_CANCELLED}"
    SetErrorLevel ${EXIT_CANCELLED}
    Call ReleasePellow
    Abort
accepted:
    Pop $0
FunctionEnd
