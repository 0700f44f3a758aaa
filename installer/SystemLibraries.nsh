; The system libraries that the setup's own calls need beyond those its stub
; imports (KERNEL32, USER32, GDI32, SHELL32, ADVAPI32, COMCTL32, OLE32). The
; System plug-in loads a library it is given by bare name through the
; ordinary search, which begins in the setup program's own folder (usually
; the user's downloads) and, on Windows 2000, takes the current folder before
; the system folder. Each one is loaded first thing, by its full path and
; with its own imports looked for in the system folder first; the calls then
; name the same full path and find it loaded.
!define SHLWAPI_DLL "$SYSDIR\shlwapi.dll"
!define SECUR32_DLL "$SYSDIR\secur32.dll"
!define LOAD_WITH_ALTERED_SEARCH_PATH 8

!macro LOAD_SYSTEM_LIBRARIES
    System::Call 'kernel32::LoadLibraryExW(w "${SHLWAPI_DLL}", p 0, i ${LOAD_WITH_ALTERED_SEARCH_PATH}) p'
    System::Call 'kernel32::LoadLibraryExW(w "${SECUR32_DLL}", p 0, i ${LOAD_WITH_ALTERED_SEARCH_PATH}) p'
!macroend
