; The machine-wide list of the users whose web links run Quillet: one file
; for each user who took them over, in a folder under the common application
; data. Files and the Add/Remove Programs entry are the machine's, the
; takeover and its save area each user's own: an uninstall removes the
; program only when no other user's file is left. A user's logon step runs as
; that user, usually a limited one, so the elevated setup makes the folder
; writable for Users; registry keys of HKLM and Program Files are not.
;
; A file's name is an id kept in the user's own registry (HKCU cannot be read
; for another user), its text the account's name for whoever reads the list.
!define USER_RECORDS_SUBFOLDER "Orvane\Quillet\Users"
!define USER_RECORD_ID_KEY "SOFTWARE\Orvane\Quillet"
!define USER_RECORD_ID_VALUE "UserRecord"
!define SAVE_AREA "SOFTWARE\Orvane\Quillet\Save"
; SYSTEM and Administrators full control, Users modify (create, write and
; delete files, not change the folder's permissions); inherited by the files.
!define USER_RECORDS_DACL "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1301bf;;;BU)"
!define SDDL_REVISION_1 1
!define DACL_SECURITY_INFORMATION 4

; 1 into $R9 while this user has a save area under ROOT (HKCU, or HKLM on
; Windows 2000, where the machine-wide one is shared by all users), else 0.
!macro HAS_SAVE_AREA ROOT
    ClearErrors
    EnumRegKey $R9 ${ROOT} "${SAVE_AREA}" 0
    ${If} ${Errors}
        StrCpy $R9 0
    ${Else}
        StrCpy $R9 1
    ${EndIf}
!macroend
!macro USER_RECORD_FUNCTIONS UN
; The folder into $R9.
Function ${UN}UserRecordsFolder
    SetShellVarContext all
    StrCpy $R9 "$APPDATA\${USER_RECORDS_SUBFOLDER}"
    SetShellVarContext current
FunctionEnd

; The running account's name ("DOMAIN\user" where it has a domain) into $R9.
Function ${UN}AccountName
    Push $0
    Push $1
    StrCpy $R9 ""
    System::Call '${SECUR32_DLL}::GetUserNameExW(i 2, w .r0, *i ${NSIS_MAX_STRLEN}) i .r1'
    ${If} $1 <> 0
        StrCpy $R9 $0
    ${Else}
        System::Call 'advapi32::GetUserNameW(w .r0, *i ${NSIS_MAX_STRLEN}) i .r1'
        ${IfThen} $1 <> 0 ${|} StrCpy $R9 $0 ${|}
    ${EndIf}
    Pop $1
    Pop $0
FunctionEnd

; This user's record file into $R9. The id is made when $R9 is "create" and
; the user has none yet; a user without one gets "".
Function ${UN}OwnUserRecord
    Push $0
    ReadRegStr $0 HKCU "${USER_RECORD_ID_KEY}" "${USER_RECORD_ID_VALUE}"
    ${If} $0 == ""
    ${AndIf} $R9 == "create"
        System::Call 'ole32::CoCreateGuid(g .r0) i'
        WriteRegStr HKCU "${USER_RECORD_ID_KEY}" "${USER_RECORD_ID_VALUE}" $0
    ${EndIf}
    Call ${UN}UserRecordsFolder
    StrCpy $R9 "$R9\$0"
    ${IfThen} $0 == "" ${|} StrCpy $R9 "" ${|}
    Pop $0
FunctionEnd

; 1 into $R9 while this user has a save area in the running user's hive.
Function ${UN}HasSaveArea
    !insertmacro HAS_SAVE_AREA HKCU
FunctionEnd

; This user's file says what the registry says: it is there exactly while
; the user has a save area, the only state in which the user's links may
; still need Quillet.exe.
Function ${UN}SyncUserRecord
    Push $0
    Push $1
    Call ${UN}HasSaveArea
    StrCpy $1 $R9
    ${IfThen} $1 = 1 ${|} StrCpy $R9 "create" ${|}
    Call ${UN}OwnUserRecord
    StrCpy $0 $R9
    ${If} $1 = 1
        Call ${UN}AccountName
        ClearErrors
        FileOpen $1 $0 w
        ${IfNot} ${Errors}
            FileWrite $1 "$R9$\r$\n"
            FileClose $1
        ${EndIf}
    ${ElseIf} $0 != ""
        Delete $0
    ${EndIf}
    Pop $1
    Pop $0
FunctionEnd

; The names of the other users whose file is there, one a line, into $R9
; ("" when there is none).
Function ${UN}OtherUserRecords
    StrCpy $R9 ""
    Call ${UN}OwnUserRecord
    Push $R9
    Call ${UN}UserRecordsBut
FunctionEnd

; The names of the users whose file is there, but the file on the stack.
Function ${UN}UserRecordsBut
    Exch $3
    Push $0
    Push $1
    Push $2
    Call ${UN}UserRecordsFolder
    StrCpy $2 $R9
    StrCpy $R9 ""
    ClearErrors
    FindFirst $0 $1 "$2\*"
    ${DoUntil} ${Errors}
        ${If} ${FileExists} "$2\$1"
        ${AndIfNot} ${FileExists} "$2\$1\*.*"
        ${AndIf} "$2\$1" != $3
            Push "$2\$1"
            Call ${UN}RecordName
            Pop $1
            StrCpy $R9 "$R9$\r$\n    $1"
        ${EndIf}
        ClearErrors
        FindNext $0 $1
    ${Loop}
    FindClose $0
    Pop $2
    Pop $1
    Pop $0
    Pop $3
FunctionEnd

; What follows -UNINSTALL when this user gives their links back, into $R9:
; QUILLET_USER_ONLY while other users' links still run Quillet (they share
; Windows 2000's machine-wide takeover), else "".
Function ${UN}GiveBackSwitch
    Call ${UN}OtherUserRecords
    ${IfThen} $R9 != "" ${|} StrCpy $R9 " ${QUILLET_USER_ONLY}" ${|}
FunctionEnd

; The account name a record file on the stack holds (its file name when it
; holds none).
Function ${UN}RecordName
    Exch $0
    Push $1
    Push $2
    ClearErrors
    FileOpen $1 $0 r
    ${IfNot} ${Errors}
        FileRead $1 $2
        FileClose $1
        ${TrimNewLines} $2 $2
        ${IfThen} $2 != "" ${|} StrCpy $0 $2 ${|}
    ${EndIf}
    Pop $2
    Pop $1
    Exch $0
FunctionEnd

; The elevated setup (or the package) makes the folder and lets Users write in it.
Function ${UN}PrepareUserRecords
    Push $0
    Push $1
    Call ${UN}UserRecordsFolder
    CreateDirectory $R9
    System::Call 'advapi32::ConvertStringSecurityDescriptorToSecurityDescriptorW(w "${USER_RECORDS_DACL}", i ${SDDL_REVISION_1}, *p .r0, p 0) i .r1'
    ${If} $1 <> 0
        System::Call 'advapi32::SetFileSecurityW(w R9, i ${DACL_SECURITY_INFORMATION}, p r0) i .r1'
        System::Call 'kernel32::LocalFree(p r0)'
    ${EndIf}
    ${If} $1 = 0
        !insertmacro SETUP_LOG "${UN}" "$(Q_NO_RECORDS_FOLDER) $R9"
    ${EndIf}
    Pop $1
    Pop $0
FunctionEnd
!macroend

; The names of every user whose file is there, the running user's too.
Function un.AllUserRecords
    Push ""
    Call un.UserRecordsBut
FunctionEnd
