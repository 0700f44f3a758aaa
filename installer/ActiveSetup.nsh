; The per-user step for every user of the machine, the way Windows
; components do it: Windows runs a component's StubPath once for each user
; who logs on while the user's copy of its Version (HKCU) is lower than the
; machine's (HKLM). The step is the uninstaller's, run in place (_?=) and
; silently: after an install or an update it takes the user's links over
; (LOGON_TAKEOVER), after an uninstall that left other users' links it gives
; them back (LOGON_GIVE_BACK), and the last user's step removes Quillet.
; Each change of the step raises Version, so that every user runs it again.
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

!macro ACTIVE_SETUP_FUNCTIONS UN
; Sets the logon step on the stack (LOGON_TAKEOVER or LOGON_GIVE_BACK) for
; every user, with a Version above the last one. The running user's step is
; the one this run has just done: their own copy of Version is raised too.
Function ${UN}SetLogonStep
    Exch $0
    Push $1
    Push $2
    ReadRegStr $1 HKLM "${ACTIVE_SETUP_KEY}" "Version"
    ; IntOp reads the leading number of "N,0,0,0" ("" counts as 0).
    IntOp $2 $1 + 1
    WriteRegStr HKLM "${ACTIVE_SETUP_KEY}" "" "Quillet"
    WriteRegStr HKLM "${ACTIVE_SETUP_KEY}" "StubPath" '"$INSTDIR\Uninstall.exe" /S ${LOGON_SWITCH}$0 _?=$INSTDIR'
    WriteRegStr HKLM "${ACTIVE_SETUP_KEY}" "Version" "$2,0,0,0"
    WriteRegDWORD HKLM "${ACTIVE_SETUP_KEY}" "IsInstalled" 1
    WriteRegStr HKCU "${ACTIVE_SETUP_KEY}" "Version" "$2,0,0,0"
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
