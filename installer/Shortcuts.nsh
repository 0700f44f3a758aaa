; The Start-menu folder: Quillet's settings, and Internet Explorer started
; through Quillet, whose icon is the browser's own with Quillet's badge
; (icon group 154, the fifth of Quillet.exe) drawn over it by Pellow.
!define SHORTCUT_FOLDER "$SMPROGRAMS\Quillet"
!define SETTINGS_SHORTCUT "${SHORTCUT_FOLDER}\Quillet settings.lnk"
!define BROWSER_SHORTCUT "${SHORTCUT_FOLDER}\Internet Explorer (protected).lnk"
!define BADGED_BROWSER_ICON "$INSTDIR\ProtectedBrowser.ico"
!define QUILLET_SETTINGS_ICON_INDEX 2
!define QUILLET_BADGE_ICON_INDEX 4
!define APP_PATHS_IEXPLORE "SOFTWARE\Microsoft\Windows\CurrentVersion\App Paths\IEXPLORE.EXE"

; Internet Explorer's executable into $R9 ("" when there is none).
Function FindBrowser
    ReadRegStr $R9 HKLM "${APP_PATHS_IEXPLORE}" ""
    ${If} $R9 == ""
        StrCpy $R9 "${PROGRAM_FILES}\Internet Explorer\iexplore.exe"
    ${EndIf}
    ${IfNot} ${FileExists} $R9
        ${Log} "$(Q_NO_BROWSER) $R9"
        StrCpy $R9 ""
    ${EndIf}
FunctionEnd

Function CreateShortcuts
    Push $0
    CreateDirectory "${SHORTCUT_FOLDER}"
    CreateShortcut "${SETTINGS_SHORTCUT}" "$INSTDIR\Quillet.exe" "" \
        "$INSTDIR\Quillet.exe" ${QUILLET_SETTINGS_ICON_INDEX}
    Call FindBrowser
    ${If} $R9 != ""
        Delete "${BADGED_BROWSER_ICON}"
        System::Call '${PELLOW}::CreateIconM(m R9, m "$INSTDIR\Quillet.exe", m "${BADGED_BROWSER_ICON}", i ${QUILLET_BADGE_ICON_INDEX}) i .r0'
        IntOp $0 $0 & 0xFF
        ${If} $0 <> 0
            CreateShortcut "${BROWSER_SHORTCUT}" "$INSTDIR\Quillet.exe" '"$R9"' "${BADGED_BROWSER_ICON}" 0
        ${Else}
            ${Log} "$(Q_NO_BADGE)"
            Delete "${BADGED_BROWSER_ICON}"
            CreateShortcut "${BROWSER_SHORTCUT}" "$INSTDIR\Quillet.exe" '"$R9"' $R9 0
        ${EndIf}
    ${EndIf}
    Pop $0
FunctionEnd

!macro REMOVE_SHORTCUTS
    Delete "${SETTINGS_SHORTCUT}"
    Delete "${BROWSER_SHORTCUT}"
    RMDir "${SHORTCUT_FOLDER}"
!macroend
