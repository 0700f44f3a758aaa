; The per-user step for every user of the machine, the way Windows
; components do it: Windows runs a component's StubPath once for each user
; who logs on while the user's copy of its Version (HKCU) is lower than the
; machine's (HKLM). The step is the uninstaller's, run in place (_?=) and
; silently: after an install or an update it takes the user's links over
; (LOGON_TAKEOVER), after an uninstall that left other users' links it gives
; them back (LOGON_GIVE_BACK), and the last user's step removes Quillet.
; Each change of the step raises Version, so that every user runs it again.
; The setup program and the Windows Installer package (Quillet.wxs) write the
; same step through these functions: the package runs this uninstaller.
!define ACTIVE_SETUP_KEY "SOFTWARE\Microsoft\Active Setup\Installed Components\{5CA6CF31-4EA0-4A3D-AB1B-410B29B78F38}"
!define LOGON_SWITCH "/LOGON="
!define LOGON_TAKEOVER "takeover"
!define LOGON_GIVE_BACK "giveback"
; A logon step never waits for another session's programs: Windows runs it
; before the user's desktop appears and records it as done whatever it
; answers. One that could not finish runs again at the user's next logon
; through the user's RunOnce key, whose entries Windows runs once and
; deletes before running them, while Active Setup's own record of the step
; is left as Windows keeps it.
!define RUN_ONCE_KEY "Software\Microsoft\Windows\CurrentVersion\RunOnce"
!define RUN_ONCE_VALUE "Quillet"

; Field N of VERSION into OUT (VersionField below).
!macro VERSION_FIELD UN VERSION N OUT
    Push `${VERSION}`
    Push ${N}
    Call ${UN}VersionField
    Pop ${OUT}
!macroend

!macro ACTIVE_SETUP_FUNCTIONS UN
; Field N (from 1) of the Version on the stack ("a,b,c,d"), 0 when missing.
Function ${UN}VersionField
    Exch $0
    Exch
    Exch $1
    ClearErrors
    ${WordFind} "$1" "," "E+$0" $0
    ${IfThen} ${Errors} ${|} StrCpy $0 0 ${|}
    IntOp $0 $0 + 0
    Pop $1
    Exch $0
FunctionEnd

; The Version of a changed step into $2, from the machine's last one in $1:
; Quillet's own version in the first three fields and a count in the last,
; so that every install, update and change of the step comes out above the
; last one, the setup's or the package's, and an older Quillet never lowers
; it (Windows runs the step only for a Version above the user's copy).
Function ${UN}NextLogonVersion
    Push $3
    Push $4
    Push $5
    StrCpy $5 0     ; the field that decides, from the left
    ${ForEach} $3 1 3 + 1
        ${IfThen} $5 <> 0 ${|} ${Continue} ${|}
        !insertmacro VERSION_FIELD "${UN}" "$1" $3 $4
        !insertmacro VERSION_FIELD "${UN}" "${STEP_PRODUCT_VERSION}" $3 $2
        ${If} $4 > $2
            StrCpy $5 1
        ${ElseIf} $4 < $2
            StrCpy $5 -1
        ${EndIf}
    ${Next}
    ${If} $5 < 0
        StrCpy $2 "${STEP_PRODUCT_VERSION},1"
    ${Else}
        !insertmacro VERSION_FIELD "${UN}" "$1" 4 $3
        IntOp $3 $3 + 1
        !insertmacro VERSION_FIELD "${UN}" "$1" 1 $4
        !insertmacro VERSION_FIELD "${UN}" "$1" 2 $5
        StrCpy $4 "$4,$5"
        !insertmacro VERSION_FIELD "${UN}" "$1" 3 $5
        StrCpy $2 "$4,$5,$3"
    ${EndIf}
    Pop $5
    Pop $4
    Pop $3
FunctionEnd

; Sets the logon step on the stack (LOGON_TAKEOVER or LOGON_GIVE_BACK) for
; every user, with a Version above the last one. The running user's step is
; the one this run has just done: their own copy of Version is raised too.
Function ${UN}SetLogonStep
    Exch $0
    Push $1
    Push $2
    ReadRegStr $1 HKLM "${ACTIVE_SETUP_KEY}" "Version"
    Call ${UN}NextLogonVersion
    WriteRegStr HKLM "${ACTIVE_SETUP_KEY}" "" "Quillet"
    WriteRegStr HKLM "${ACTIVE_SETUP_KEY}" "StubPath" '"$INSTDIR\Uninstall.exe" /S ${LOGON_SWITCH}$0 _?=$INSTDIR'
    WriteRegStr HKLM "${ACTIVE_SETUP_KEY}" "Version" $2
    WriteRegDWORD HKLM "${ACTIVE_SETUP_KEY}" "IsInstalled" 1
    WriteRegStr HKCU "${ACTIVE_SETUP_KEY}" "Version" $2
    Pop $2
    Pop $1
    Pop $0
FunctionEnd

; The logon step that is running now runs again at the user's next logon.
Function ${UN}RunLogonStepAgain
    ${IfThen} $LogonStep == "" ${|} Return ${|}
    WriteRegStr HKCU "${RUN_ONCE_KEY}" "${RUN_ONCE_VALUE}" '"$INSTDIR\Uninstall.exe" /S ${LOGON_SWITCH}$LogonStep _?=$INSTDIR'
    !insertmacro SETUP_LOG "${UN}" "$(Q_LOGON_STEP_AGAIN)"
FunctionEnd
!macroend
