; Pellow.dll, the setup's helper, called through the System plug-in. Setup
; and uninstaller each load a copy from $PLUGINSDIR, never the installed
; file: that one is about to be replaced or removed. Pellow's strings are
; ANSI ("m"); its BOOL results count in the low byte only.
!define PELLOW "$PLUGINSDIR\Pellow.dll"
; Room for one caption or file name; the buffers the System plug-in makes
; for an "m" result hold NSIS_MAX_STRLEN (1024) bytes.
!define PELLOW_TEXT_CHARS 500

!macro PELLOW_FUNCTIONS UN
; The captions (or program names) of the protected browsers that the running
; Quillet started, one a line, into $R9; empty when none is open or Quillet
; does not run.
Function ${UN}ListProtectedWindows
    Push $0
    Push $1
    StrCpy $R9 ""
    System::Call '${PELLOW}::GetFirstCaption(m "${QUILLET_WINDOW_CLASS}", m .r1, *i ${PELLOW_TEXT_CHARS}) i .r0'
    IntOp $0 $0 & 0xFF
    ${DoWhile} $0 <> 0
        ${If} $R9 == ""
            StrCpy $R9 "    $1"
        ${Else}
            StrCpy $R9 "$R9$\r$\n    $1"
        ${EndIf}
        System::Call '${PELLOW}::GetNextCaption(m "${QUILLET_WINDOW_CLASS}", m .r1, *i ${PELLOW_TEXT_CHARS}) i .r0'
        IntOp $0 $0 & 0xFF
    ${Loop}
    Pop $1
    Pop $0
FunctionEnd

; Waits up to the milliseconds on the stack until no process has Spirel.dll
; loaded; leaves 1 (unloaded everywhere) or 0 on the stack.
Function ${UN}WaitForHookLibrary
    Exch $0
    System::Call '${PELLOW}::IsCloseModule(m "Spirel.dll", i r0) i .r0'
    IntOp $0 $0 & 0xFF
    Exch $0
FunctionEnd

; Lets the copy of Pellow go, so that $PLUGINSDIR can be removed at exit.
Function ${UN}ReleasePellow
    Push $0
    System::Call 'kernel32::GetModuleHandle(t "${PELLOW}") p .r0'
    ${If} $0 P<> 0
        System::Call 'kernel32::FreeLibrary(p r0)'
    ${EndIf}
    Pop $0
FunctionEnd
!macroend

; The FileDescription and version of the file on the stack, as one line
; ("" when the file has neither): what an update replaces, and by what.
Function DescribeFile
    Exch $0
    Push $1
    Push $2
    Push $3
    Push $4
    StrCpy $4 ""
    System::Call '${PELLOW}::GetFileDescription(m r0, m .r1, *i 0 .r2) i .r3'
    ${If} $3 = 1
    ${AndIf} $2 > 0
    ${AndIf} $2 < ${PELLOW_TEXT_CHARS}
        System::Call '${PELLOW}::GetFileDescription(m r0, m .r1, *i r2) i .r3'
        ${If} $3 = 1
            StrCpy $4 $1
        ${EndIf}
    ${EndIf}
    ClearErrors
    GetDLLVersion $0 $1 $2
    ${IfNot} ${Errors}
        IntOp $0 $1 >> 16
        IntOp $1 $1 & 0xFFFF
        IntOp $3 $2 >> 16
        IntOp $2 $2 & 0xFFFF
        StrCpy $4 "$4 ($0.$1.$3.$2)"
    ${EndIf}
    StrCpy $0 $4
    Pop $4
    Pop $3
    Pop $2
    Pop $1
    Exch $0
FunctionEnd

