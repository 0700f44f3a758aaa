; What QuilletSetup.exe and Uninstall.exe return, for deployment scripts.
; 1 and 2 are NSIS's own: the user cancelled, or the script gave up on an
; error (a file that could not be written).
!define EXIT_DONE             0
!define EXIT_CANCELLED        1
!define EXIT_FAILED           2
; Setup: the files are installed, but the web links were not taken over
; (their handlers are not Internet Explorer alone, or the save area could
; not be written; ErrorBrowser.log says why).
; Uninstall: some associations could not be given back; the save area and
; the program folder stay, so that uninstalling can be tried again.
!define EXIT_PARTLY           3
; Protected browser windows stayed open, or Spirel.dll stayed loaded, for
; longer than the wait allowed (/WAIT=seconds); nothing was changed.
!define EXIT_STILL_RUNNING    4
; The copy here is Quillet's Windows Installer package's, which alone
; updates and removes it; nothing was changed.
!define EXIT_OTHER_INSTALLER  5

; Quillet.exe's own exit codes.
!define QUILLET_INSTALL_DONE        0
!define QUILLET_INSTALL_REFUSED     1
!define QUILLET_UNINSTALL_DONE      0
!define QUILLET_UNINSTALL_NOTHING   1
!define QUILLET_UNINSTALL_PARTLY    2
; With -UNINSTALL: the running user's links alone. On Windows 2000 the
; machine-wide takeover stays for the other users whose links share it.
!define QUILLET_USER_ONLY           "-USERONLY"
