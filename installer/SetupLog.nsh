; Every run appends what it did to %TEMP%\QuilletSetup.log, so that a silent
; run leaves a trace; the lines also go to the details list of the page.
!define SETUP_LOG_NAME "QuilletSetup.log"

!macro SETUP_LOG_FUNCTIONS UN
Function ${UN}SetupLog
    Exch $0
    Push $1
    DetailPrint $0
    ClearErrors
    FileOpen $1 "$TEMP\${SETUP_LOG_NAME}" a
    IfErrors done
    FileSeek $1 0 END
    FileWrite $1 "$0$\r$\n"
    FileClose $1
done:
    Pop $1
    Pop $0
FunctionEnd
!macroend

!macro SETUP_LOG UN TEXT
    Push `${TEXT}`
    Call ${UN}SetupLog
!macroend
!define Log `!insertmacro SETUP_LOG ""`
!define un.Log `!insertmacro SETUP_LOG "un."`
