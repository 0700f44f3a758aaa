; "Quillet.exe -INSTALL" wraps the web links' handlers, after copying them
; into its save area. When it refuses (exit code 1), nothing of the links
; was changed and ErrorBrowser.log says why: the user reads it and chooses
; between a setup without the takeover and none.
; NSIS strings hold 1024 characters: the message and the log line take the
; findings only, not the checks that passed.
!define TAKEOVER_LOG_LINES 12
; Where Quillet.exe writes a user's own logs when it may not write next to
; itself.
!define USER_LOG_FOLDER "$APPDATA\Orvane\Quillet"

!macro TAKEOVER_LOG_FUNCTIONS UN
; The ErrorBrowser.log that Quillet.exe's last run wrote for this user, into
; $R9: the user's own copy when there is one (a limited user may not write
; next to Quillet.exe under Program Files), else the one next to Quillet.exe.
; Quillet.exe keeps to the same rule.
Function ${UN}CurrentTakeoverLog
    StrCpy $R9 "${USER_LOG_FOLDER}\ErrorBrowser.log"
    ${IfNot} ${FileExists} $R9
        StrCpy $R9 "$INSTDIR\ErrorBrowser.log"
    ${EndIf}
FunctionEnd

; The findings of that file into $R9, after a line naming it, without the
; "-> Begin" and "-> Success" lines of the checks. Quillet ends each record
; with a lone carriage return, which FileRead takes as a line's end.
Function ${UN}ReadTakeoverLog
    Push $0
    Push $1
    Push $2
    Push $3
    Call ${UN}CurrentTakeoverLog
    StrCpy $1 $R9
    StrCpy $R9 "$\r$\n    ($1)"
    StrCpy $2 0
    ClearErrors
    FileOpen $0 $1 r
    ${If} ${Errors}
        StrCpy $R9 "$R9$\r$\n    $(Q_NO_LOG)"
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
!macroend

; The lines of ErrorBrowser.log that name a link another program holds now
; ("Held by another program ( key ) -> command"), which a takeover over an
; installed copy leaves to that program, into $R9 ("" when there is none);
; the first HELD_FINISH_LINES of them into $R7 and their number into $R8, for
; the finish page, which has room for a few.
!define HELD_FINISH_LINES 3
!define HELD_LINE_START "Held by another program"
Function ReadHeldLines
    Push $0
    Push $1
    Push $2
    Push $3
    Push $4
    StrCpy $R9 ""
    StrCpy $R7 ""
    StrCpy $2 0
    StrLen $3 "${HELD_LINE_START}"
    Call CurrentTakeoverLog
    ClearErrors
    FileOpen $0 $R9 r
    StrCpy $R9 ""
    ${IfThen} ${Errors} ${|} Goto done ${|}
    ${Do}
        ClearErrors
        FileRead $0 $1
        ${IfThen} ${Errors} ${|} ${ExitDo} ${|}
        ${TrimNewLines} $1 $1
        StrCpy $4 $1 $3
        ${If} $4 S== "${HELD_LINE_START}"
            StrCpy $R9 "$R9$\r$\n    $1"
            ${IfThen} $2 < ${HELD_FINISH_LINES} ${|} StrCpy $R7 "$R7$\r$\n    $1" ${|}
            IntOp $2 $2 + 1
        ${EndIf}
    ${LoopUntil} $2 >= ${TAKEOVER_LOG_LINES}
    FileClose $0
done:
    StrCpy $R8 $2
    Pop $4
    Pop $3
    Pop $2
    Pop $1
    Pop $0
FunctionEnd

; 1 into $R9 when a refused takeover has changed something all the same: a
; save area exists, or a per-user handler already runs the installed
; Quillet.exe. Quillet.exe and its uninstaller must then stay, or those
; links run a program that is gone and nothing can give them back.
!define WRAPPED_CLASSES "http https ftp gopher htmlfile mhtmlfile InternetShortcut"
Function FindTakeoverChanges
    Push $0
    Push $1
    Push $2
    Call HasSaveArea
    ${IfThen} $R9 = 1 ${|} Goto done ${|}
    StrCpy $0 1
    ${Do}
        ${WordFind} "${WRAPPED_CLASSES}" " " "E+$0" $1
        ${IfThen} ${Errors} ${|} ${ExitDo} ${|}
        ReadRegStr $1 HKCU "Software\Classes\$1\shell\open\command" ""
        System::Call '${SHLWAPI_DLL}::StrStrIW(w r1, w "$INSTDIR\Quillet.exe") p .r2'
        ${If} $2 P<> 0
            StrCpy $R9 1
            ${ExitDo}
        ${EndIf}
        IntOp $0 $0 + 1
    ${Loop}
done:
    Pop $2
    Pop $1
    Pop $0
FunctionEnd

; Runs the takeover; $TakeoverDone becomes 1 when the links are Quillet's,
; 2 when they are not but some were changed (the files must stay), 0 when
; none was changed. A refusal the user does not accept ends the setup: a new
; installation's files go again (RemoveFreshInstall), once whatever the
; takeover changed is given back.
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
        Call AccountName
        StrCpy $TakeoverAccount $R9
        ${Log} "$(Q_TAKEOVER_DONE) $R9"
        ${Log} "$(Q_OTHER_USERS_LATER)"
        Call ReadHeldLines
        StrCpy $HeldNote $R7
        ${If} $R9 != ""
            ${Log} "$(Q_FINISH_HELD)$R9"
        ${EndIf}
        ${If} $R8 > ${HELD_FINISH_LINES}
            StrCpy $HeldNote "$HeldNote$\r$\n    $(Q_FINISH_HELD_MORE)"
        ${EndIf}
        Pop $0
        Return
    ${EndIf}
    Call ReadTakeoverLog
    StrCpy $0 $R9
    Call FindTakeoverChanges
    ${If} $R9 = 1
        StrCpy $TakeoverDone 2
        ${Log} "$(Q_TAKEOVER_CHANGED)$0"
        MessageBox MB_YESNO|MB_ICONEXCLAMATION "$(Q_TAKEOVER_CHANGED)$\r$\n$0$\r$\n$\r$\n$(Q_FINISH_WITHOUT_CHANGED)" \
            /SD IDYES IDYES accepted
        ${If} $Updating = 0
            Call GiveBackChanges
            ${IfThen} $TakeoverDone = 2 ${|} Goto accepted ${|}
        ${EndIf}
    ${Else}
        ${Log} "$(Q_TAKEOVER_REFUSED)$0"
        MessageBox MB_YESNO|MB_ICONEXCLAMATION "$(Q_TAKEOVER_REFUSED)$\r$\n$0$\r$\n$\r$\n$(Q_FINISH_WITHOUT)" \
            /SD IDYES IDYES accepted
    ${EndIf}
    Call RemoveFreshInstall
    ${Log} "$(Q_CANCELLED)"
    ${Log} "$(Q_LOG_EXIT) ${EXIT_CANCELLED}"
    SetErrorLevel ${EXIT_CANCELLED}
    Call ReleasePellow
    Abort
accepted:
    Pop $0
FunctionEnd

; After a "No" to a takeover that changed links: gives them back. When that
; is incomplete, $TakeoverDone stays 2 and the setup goes on, so that the
; files, the uninstaller and its entry are there for a later uninstall.
Function GiveBackChanges
    Push $0
    Push $1
    Call GiveBackSwitch
    StrCpy $1 $R9
    StrCpy $0 ""
    ClearErrors
    ExecWait '"$INSTDIR\Quillet.exe" -UNINSTALL$1' $0
    ${Log} "$(Q_LOG_QUILLET_EXIT) (-UNINSTALL$1): $0"
    ${IfThen} ${Errors} ${|} StrCpy $0 ${QUILLET_UNINSTALL_PARTLY} ${|}
    Call FindTakeoverChanges
    ${If} $0 != ${QUILLET_UNINSTALL_PARTLY}
    ${AndIf} $R9 = 0
        StrCpy $TakeoverDone 0
        ${Log} "$(Q_CHANGED_GIVEN_BACK)"
    ${Else}
        ${Log} "$(Q_CHANGED_KEPT)"
        MessageBox MB_OK|MB_ICONEXCLAMATION "$(Q_CHANGED_KEPT)" /SD IDOK
    ${EndIf}
    Pop $1
    Pop $0
FunctionEnd
