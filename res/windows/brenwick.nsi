; The Windows setup program: brenwick.exe, brenwick-cli.exe, the help pages, the icon and the licence, a
; Start-menu shortcut, "Open with" for .hex and .bin (the default for .hex only when asked), and an entry in
; Programs and Features with an uninstaller.
;
; Run by an administrator it installs for every user of the machine, into Program Files, and registers under
; HKEY_LOCAL_MACHINE. Run by anyone else it installs for that user alone, into %LOCALAPPDATA%\Programs\Brenwick,
; and registers under HKEY_CURRENT_USER, with no administrator rights needed: a production technician can
; install and update it on a locked-down station. The settings are each user's own either way.
;
; Built by `cmake --build --preset windows --target installer`, which passes VERSION, BIN_DIR, HELP_DIR,
; ICON, LICENSE and OUT_FILE. Silent: /S; /HEXDEFAULT also makes Brenwick the program for .hex files, and
; /ADDTOPATH puts the installation folder on the PATH, for brenwick-cli.

; A 64-bit setup for 64-bit programs.
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel highest
ManifestDPIAware true

!include "MUI2.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"
!include "Sections.nsh"
!include "StrFunc.nsh"
${StrStr}
${UnStrRep}

!define PRODUCT "Brenwick"
!define MAKER "Veltmark"
!define PROGID "Brenwick.Document"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Brenwick"
!define CLASSES "Software\Classes"
; Where the setup keeps what it needs to undo: the program that opened .hex files before, if it changed it.
; SHCTX is HKLM for an installation for all users, HKCU for one user's.
!define SETUP_KEY "Software\Veltmark\Brenwick Setup"
!define SETTINGS_KEY "Software\Veltmark\Brenwick"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUT_FILE}"
InstallDir "$LOCALAPPDATA\Programs\Brenwick"
BrandingText "${MAKER} ${PRODUCT} ${VERSION}"
VIProductVersion "${VERSION}.0.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "CompanyName" "${MAKER}"
VIAddVersionKey "FileDescription" "${PRODUCT} setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "${MAKER}, 2026"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\brenwick.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Start Brenwick"

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${LICENSE}"
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Section "Brenwick (required)" SecProgram
    SectionIn RO
    SetOutPath "$INSTDIR"
    File "${BIN_DIR}/brenwick.exe"
    File "${BIN_DIR}/brenwick-cli.exe"
    File "/oname=brenwick.ico" "${ICON}"
    File "/oname=LICENSE.txt" "${LICENSE}"
    SetOutPath "$INSTDIR\help"
    File "${HELP_DIR}/*.*"
    SetOutPath "$INSTDIR"
    WriteUninstaller "$INSTDIR\uninstall.exe"

    CreateShortcut "$SMPROGRAMS\Brenwick.lnk" "$INSTDIR\brenwick.exe" "" "$INSTDIR\brenwick.ico" 0 \
        SW_SHOWNORMAL "" "Flash firmware into a board through its boot loader"

    ; The document type, and Brenwick among the programs that open .hex and .bin files.
    WriteRegStr SHCTX "${CLASSES}\${PROGID}" "" "Flash Document"
    WriteRegStr SHCTX "${CLASSES}\${PROGID}\DefaultIcon" "" "$INSTDIR\brenwick.ico"
    WriteRegStr SHCTX "${CLASSES}\${PROGID}\shell\open\command" "" '"$INSTDIR\brenwick.exe" "%1"'
    WriteRegStr SHCTX "${CLASSES}\.hex\OpenWithProgids" "${PROGID}" ""
    WriteRegStr SHCTX "${CLASSES}\.bin\OpenWithProgids" "${PROGID}" ""
    WriteRegStr SHCTX "${CLASSES}\Applications\brenwick.exe\shell\open\command" "" '"$INSTDIR\brenwick.exe" "%1"'
    WriteRegStr SHCTX "${CLASSES}\Applications\brenwick.exe\SupportedTypes" ".hex" ""
    WriteRegStr SHCTX "${CLASSES}\Applications\brenwick.exe\SupportedTypes" ".bin" ""

    ; Programs and Features.
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${MAKER}"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\brenwick.ico"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" $0
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section /o "Open .hex in Brenwick" SecHexDefault
    ; The program that opened .hex files so far comes back at uninstall.
    ReadRegStr $0 SHCTX "${CLASSES}\.hex" ""
    ${If} $0 != "${PROGID}"
        WriteRegStr SHCTX "${SETUP_KEY}" "PreviousHexProgram" "$0"
    ${EndIf}
    WriteRegStr SHCTX "${CLASSES}\.hex" "" "${PROGID}"
SectionEnd

Var MultiUser

Section /o "brenwick-cli on the PATH" SecPath
    ${If} $MultiUser == "all"
        ReadRegStr $0 HKLM "SYSTEM\CurrentControlSet\Control\Session Manager\Environment" "Path"
    ${Else}
        ReadRegStr $0 HKCU "Environment" "Path"
    ${EndIf}
    ${StrStr} $1 ";$0;" ";$INSTDIR;"
    ${If} $1 == ""
        ${If} $0 == ""
            StrCpy $0 "$INSTDIR"
        ${Else}
            StrCpy $0 "$0;$INSTDIR"
        ${EndIf}
        ${If} $MultiUser == "all"
            WriteRegExpandStr HKLM "SYSTEM\CurrentControlSet\Control\Session Manager\Environment" "Path" "$0"
        ${Else}
            WriteRegExpandStr HKCU "Environment" "Path" "$0"
        ${EndIf}
        WriteRegStr SHCTX "${SETUP_KEY}" "AddedToPath" "$INSTDIR"
        SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=2000
    ${EndIf}
SectionEnd

Function .onInit
    UserInfo::GetAccountType
    Pop $0
    ${If} $0 == "Admin"
        SetShellVarContext all
        StrCpy $MultiUser "all"
        StrCpy $INSTDIR "$PROGRAMFILES64\Brenwick"
    ${Else}
        SetShellVarContext current
        StrCpy $MultiUser "current"
    ${EndIf}
    ${GetParameters} $0
    ClearErrors
    ${GetOptions} $0 "/HEXDEFAULT" $1
    ${IfNot} ${Errors}
        !insertmacro SelectSection ${SecHexDefault}
    ${EndIf}
    ClearErrors
    ${GetOptions} $0 "/ADDTOPATH" $1
    ${IfNot} ${Errors}
        !insertmacro SelectSection ${SecPath}
    ${EndIf}
FunctionEnd

; The uninstaller undoes the installation where it was made: for all users when the machine's entry names
; this folder.
Function un.onInit
    ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $0 == $INSTDIR
        SetShellVarContext all
        StrCpy $MultiUser "all"
    ${Else}
        SetShellVarContext current
        StrCpy $MultiUser "current"
    ${EndIf}
FunctionEnd

Section "un.Brenwick" UnSecProgram
    SectionIn RO
    Delete "$SMPROGRAMS\Brenwick.lnk"
    Delete "$INSTDIR\brenwick.exe"
    Delete "$INSTDIR\brenwick-cli.exe"
    Delete "$INSTDIR\brenwick.ico"
    Delete "$INSTDIR\LICENSE.txt"
    RMDir /r "$INSTDIR\help"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"

    ; .hex goes back to the program that had it, if Brenwick took it.
    ReadRegStr $0 SHCTX "${CLASSES}\.hex" ""
    ${If} $0 == "${PROGID}"
        ReadRegStr $1 SHCTX "${SETUP_KEY}" "PreviousHexProgram"
        ${If} $1 == ""
            DeleteRegValue SHCTX "${CLASSES}\.hex" ""
        ${Else}
            WriteRegStr SHCTX "${CLASSES}\.hex" "" "$1"
        ${EndIf}
    ${EndIf}
    ; The folder leaves the PATH if the setup put it there.
    ReadRegStr $1 SHCTX "${SETUP_KEY}" "AddedToPath"
    ${If} $1 != ""
        ${If} $MultiUser == "all"
            ReadRegStr $0 HKLM "SYSTEM\CurrentControlSet\Control\Session Manager\Environment" "Path"
        ${Else}
            ReadRegStr $0 HKCU "Environment" "Path"
        ${EndIf}
        ${UnStrRep} $0 ";$0;" ";$1;" ";"
        ; Back without the separators added around it for the search.
        StrCpy $0 $0 "" 1
        StrCpy $0 $0 -1
        ${If} $MultiUser == "all"
            WriteRegExpandStr HKLM "SYSTEM\CurrentControlSet\Control\Session Manager\Environment" "Path" "$0"
        ${ElseIf} $0 == ""
            DeleteRegValue HKCU "Environment" "Path"
        ${Else}
            WriteRegExpandStr HKCU "Environment" "Path" "$0"
        ${EndIf}
        SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=2000
    ${EndIf}
    DeleteRegKey SHCTX "${SETUP_KEY}"
    DeleteRegValue SHCTX "${CLASSES}\.hex\OpenWithProgids" "${PROGID}"
    DeleteRegValue SHCTX "${CLASSES}\.bin\OpenWithProgids" "${PROGID}"
    DeleteRegKey /ifempty SHCTX "${CLASSES}\.hex\OpenWithProgids"
    DeleteRegKey /ifempty SHCTX "${CLASSES}\.bin\OpenWithProgids"
    DeleteRegKey /ifempty SHCTX "${CLASSES}\.hex"
    DeleteRegKey /ifempty SHCTX "${CLASSES}\.bin"
    DeleteRegKey SHCTX "${CLASSES}\${PROGID}"
    DeleteRegKey SHCTX "${CLASSES}\Applications\brenwick.exe"
    DeleteRegKey SHCTX "${UNINSTALL_KEY}"
SectionEnd

; The user's settings (port, window, last file) stay unless this is ticked.
Section /o "un.My Brenwick settings" UnSecSettings
    DeleteRegKey HKCU "${SETTINGS_KEY}"
    DeleteRegKey /ifempty HKCU "Software\Veltmark"
SectionEnd

!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
    !insertmacro MUI_DESCRIPTION_TEXT ${SecProgram} "The window, the command line, the help pages and a Start-menu shortcut; Brenwick is offered in Open with for .hex and .bin files."
    !insertmacro MUI_DESCRIPTION_TEXT ${SecPath} "Puts the installation folder on the PATH, so that brenwick-cli runs from any command prompt."
    !insertmacro MUI_DESCRIPTION_TEXT ${SecHexDefault} "Double-clicking a .hex file opens it in Brenwick. The program that opened .hex files so far gets them back when Brenwick is uninstalled."
!insertmacro MUI_FUNCTION_DESCRIPTION_END
