; Pellow.dll, the setup's helper, called through the System plug-in. Setup
; and uninstaller each load a copy from $PLUGINSDIR, never the installed
; file: that one is about to be replaced or removed. Pellow's strings are
; ANSI ("m"); its BOOL results count in the low byte only.
!define PELLOW "$PLUGINSDIR\Pellow.dll"
; Room for one caption or file name; the buffers the System plug-in makes
; for an "m" result hold NSIS_MAX_STRLEN (1024) bytes.
!define PELLOW_TEXT_CHARS 500
!define HOOK_LIBRARY_SLICE_MS 250
!define PM_REMOVE 1
; A MSG is 28 bytes on x86 and 48 on x64.
!define MSG_BYTES 64

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
; loaded; leaves 1 (unloaded everywhere) or 0 on the stack. A process lets
; a hook library go only when one of its threads looks at its messages, and
; this one may have been hooked too: between short waits it empties its own
; queue, which a silent run (nothing else pumps) needs.
Function ${UN}WaitForHookLibrary
    Exch $0
    Push $1
    Push $2
    Push $3
    System::Alloc ${MSG_BYTES}
    Pop $2
    ${Do}
        ${Do}
            System::Call 'user32::PeekMessage(p r2, p 0, i 0, i 0, i ${PM_REMOVE}) i .r3'
            ${IfThen} $3 = 0 ${|} ${ExitDo} ${|}
            System::Call 'user32::DispatchMessage(p r2)'
        ${Loop}
        System::Call '${PELLOW}::IsCloseModule(m "Spirel.dll", i ${HOOK_LIBRARY_SLICE_MS}) i .r1'
        IntOp $1 $1 & 0xFF
        ${IfThen} $1 <> 0 ${|} ${ExitDo} ${|}
        IntOp $0 $0 - ${HOOK_LIBRARY_SLICE_MS}
    ${LoopUntil} $0 <= 0
    System::Free $2
    StrCpy $0 $1
    Pop $3
    Pop $2
    Pop $1
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
    System::Call '${PELLOW}::GetFileDescription(m r0, m .r1, *i 0 r2) i .r3'
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

