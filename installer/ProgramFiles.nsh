; The three files of one version. An update that wrote one and then failed
; to write the next would leave a new Quillet.exe beside an old Spirel.dll:
; each new file is written beside the old ones first, then each old one is
; moved aside and the new one put in its place, and a step that fails puts
; back what it replaced. The old files go once all three are in place.
!define PROGRAM_FILE_NAMES "Quillet.exe Spirel.dll Pellow.dll"
!define PROGRAM_FILE_COUNT 3

; $R9: the INDEXth name (from 1) of PROGRAM_FILE_NAMES.
!macro PROGRAM_FILE_NAME INDEX
    ${WordFind} "${PROGRAM_FILE_NAMES}" " " "+${INDEX}" $R9
!macroend

; $R8 becomes 1 when the three new files are in place, 0 when the old ones
; (or, for a new installation, none) are. (LogicLib's test of the error flag
; clears it: each step's answer is read once.)
Function InstallProgramFiles
    Push $0
    Push $R9
    SetOutPath "$INSTDIR"
    SetOverwrite on
    ClearErrors
    File "/oname=Quillet.exe.new" "${BIN_DIR}/Quillet.exe"
    File "/oname=Spirel.dll.new" "${BIN_DIR}/Spirel.dll"
    File "/oname=Pellow.dll.new" "${BIN_DIR}/Pellow.dll"
    StrCpy $R8 0
    ${IfNot} ${Errors}
        StrCpy $0 1
        StrCpy $R8 1
        ${DoWhile} $0 <= ${PROGRAM_FILE_COUNT}
            !insertmacro PROGRAM_FILE_NAME $0
            Call SwapProgramFile
            ${IfThen} $R8 = 0 ${|} ${ExitDo} ${|}
            IntOp $0 $0 + 1
        ${Loop}
        ${If} $R8 = 0
            IntOp $0 $0 - 1
            Push $0
            Call PutBackProgramFiles
        ${EndIf}
    ${EndIf}
    StrCpy $0 1
    ${DoWhile} $0 <= ${PROGRAM_FILE_COUNT}
        !insertmacro PROGRAM_FILE_NAME $0
        Delete "$INSTDIR\$R9.new"
        ${IfThen} $R8 = 1 ${|} Delete "$INSTDIR\$R9.old" ${|}
        IntOp $0 $0 + 1
    ${Loop}
    Pop $R9
    Pop $0
FunctionEnd

; Puts $R9.new in the place of $R9, moving the old file aside to $R9.old;
; $R8 becomes 0 when that could not be done, with nothing changed.
Function SwapProgramFile
    Delete "$INSTDIR\$R9.old"
    ${If} ${FileExists} "$INSTDIR\$R9"
        ClearErrors
        Rename "$INSTDIR\$R9" "$INSTDIR\$R9.old"
        ${If} ${Errors}
            StrCpy $R8 0
            Return
        ${EndIf}
    ${EndIf}
    ClearErrors
    Rename "$INSTDIR\$R9.new" "$INSTDIR\$R9"
    ${If} ${Errors}
        Rename "$INSTDIR\$R9.old" "$INSTDIR\$R9"
        StrCpy $R8 0
    ${EndIf}
FunctionEnd

; The first N files (N on the stack) were swapped: each new one goes, and
; the old one, when there was one, comes back.
Function PutBackProgramFiles
    Exch $1
    Push $0
    Push $R9
    StrCpy $0 1
    ${DoWhile} $0 <= $1
        !insertmacro PROGRAM_FILE_NAME $0
        Delete "$INSTDIR\$R9"
        ${IfThen} ${FileExists} "$INSTDIR\$R9.old" ${|} Rename "$INSTDIR\$R9.old" "$INSTDIR\$R9" ${|}
        IntOp $0 $0 + 1
    ${Loop}
    Pop $R9
    Pop $0
    Pop $1
FunctionEnd
