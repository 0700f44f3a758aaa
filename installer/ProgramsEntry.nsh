; The Add/Remove Programs entry. DisplayVersion is read from the installed
; Quillet.exe's version information, so that the entry says what is there.
; The quiet command runs the uninstaller in place (_?=), so that whoever
; starts it waits for it and gets its exit code.
!define PROGRAMS_ENTRY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quillet"

Function WriteProgramsEntry
    Push $0
    Push $1
    Push $2
    Push $3
    WriteRegStr HKLM "${PROGRAMS_ENTRY}" "DisplayName" "Quillet"
    GetDLLVersion "$INSTDIR\Quillet.exe" $0 $1
    IntOp $2 $0 >> 16
    IntOp $0 $0 & 0xFFFF
    IntOp $3 $1 >> 16
    IntOp $1 $1 & 0xFFFF
    WriteRegStr HKLM "${PROGRAMS_ENTRY}" "DisplayVersion" "$2.$0.$3.$1"
    WriteRegStr HKLM "${PROGRAMS_ENTRY}" "Publisher" "Orvane"
    WriteRegStr HKLM "${PROGRAMS_ENTRY}" "DisplayIcon" "$INSTDIR\Quillet.exe,0"
    WriteRegStr HKLM "${PROGRAMS_ENTRY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${PROGRAMS_ENTRY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
    WriteRegStr HKLM "${PROGRAMS_ENTRY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S _?=$INSTDIR'
    WriteRegDWORD HKLM "${PROGRAMS_ENTRY}" "NoModify" 1
    WriteRegDWORD HKLM "${PROGRAMS_ENTRY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegDWORD HKLM "${PROGRAMS_ENTRY}" "EstimatedSize" $0
    Pop $3
    Pop $2
    Pop $1
    Pop $0
FunctionEnd
