; The Windows installer, for the x86_64 or the i686 programs, made by scripts/package with
; Debian's makensis:
;   makensis -DARCH=x86_64|i686 -DVERSION=1.0.0 -DSTAGE=<installed files> -DICON=<icon.ico>
;            -DOUTFILE=<setup.exe>
; For all users (administrators, the default for them) or for the current user alone without
; administrator rights (/CurrentUser, or the choice on the first page); silent with /S.
Unicode true
!if "${ARCH}" == "x86_64"
    Target amd64-unicode
    !define MULTIUSER_USE_PROGRAMFILES64
!else if "${ARCH}" == "i686"
    ; A 32-bit stub, so that 32-bit Windows runs it; on 64-bit Windows it installs into
    ; "Program Files (x86)".
    Target x86-unicode
!else
    !error "ARCH is x86_64 or i686, not ${ARCH}"
!endif
SetCompressor /SOLID lzma
ManifestDPIAware true

!define PRODUCT "Morvik 2 Softwareupdate"
!define CONSOLE "Morvik 2 Eingabeaufforderung"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Morvik2"
!define FILE_CLASS "Morvik2.UpdateFile"

Name "QV ${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
BrandingText "QV ${PRODUCT} ${VERSION}"

!define MULTIUSER_EXECUTIONLEVEL Highest
!define MULTIUSER_MUI
!define MULTIUSER_INSTALLMODE_COMMANDLINE
!define MULTIUSER_INSTALLMODE_INSTDIR "Morvik2"
!include MultiUser.nsh
!include MUI2.nsh
!include LogicLib.nsh

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING

!insertmacro MULTIUSER_PAGE_INSTALLMODE
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\morvik2-update.exe"
!define MUI_FINISHPAGE_RUN_PARAMETERS "--user-folder"
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\LIESMICH.txt"
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

; The system's language picks one of these.
!insertmacro MUI_LANGUAGE "German"
!insertmacro MUI_LANGUAGE "English"

LangString FileTypeName ${LANG_GERMAN} "Morvik 2 Update-Datei"
LangString FileTypeName ${LANG_ENGLISH} "Morvik 2 update file"

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductName" "QV ${PRODUCT}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileDescription" "QV ${PRODUCT} Setup"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "LegalCopyright" "MIT License"

Function .onInit
    !insertmacro MULTIUSER_INIT
FunctionEnd

; The uninstaller serves the installation it lies in: one for the current user alone is
; recorded under that user's key.
Function un.onInit
    !insertmacro MULTIUSER_UNINIT
    ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $0 == $INSTDIR
        Call un.MultiUser.InstallMode.CurrentUser
    ${EndIf}
FunctionEnd

Section "Install"
    SetOutPath "$INSTDIR"
    File "${STAGE}\morvik2-update.exe"
    File "${STAGE}\morvik2-flash.exe"
    File "${STAGE}\LIESMICH.txt"
    File "${STAGE}\LICENSE.txt"
    WriteUninstaller "$INSTDIR\uninstall.exe"

    ; From the menu, the window keeps MV2.ini in the user's folder: the install folder is not
    ; the user's to write.
    CreateShortCut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\morvik2-update.exe" "--user-folder" \
        "$INSTDIR\morvik2-update.exe" 0
    ; A console that finds morvik2-flash.exe: the install folder goes in front of PATH for that
    ; console alone, which starts in the user's own folder. The PATH of the system or the user
    ; stays as it is: an installer from Debian's makensis reads a value longer than 1024
    ; characters as empty and would write it back so, and uninstall.exe would become a command
    ; everywhere.
    CreateShortCut "$SMPROGRAMS\${CONSOLE}.lnk" "$SYSDIR\cmd.exe" \
        '/k set "PATH=$INSTDIR;%PATH%" && cd /d "%USERPROFILE%"' "$SYSDIR\cmd.exe" 0

    ; Opening an update file starts the window with it.
    WriteRegStr SHCTX "Software\Classes\.QV" "" "${FILE_CLASS}"
    WriteRegStr SHCTX "Software\Classes\${FILE_CLASS}" "" "$(FileTypeName)"
    WriteRegStr SHCTX "Software\Classes\${FILE_CLASS}\DefaultIcon" "" \
        "$INSTDIR\morvik2-update.exe,0"
    WriteRegStr SHCTX "Software\Classes\${FILE_CLASS}\shell\open\command" "" \
        '"$INSTDIR\morvik2-update.exe" --user-folder "%1"'

    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "QV ${PRODUCT}"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\morvik2-update.exe,0"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" \
        '"$INSTDIR\uninstall.exe" /$MultiUser.InstallMode'
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" \
        '"$INSTDIR\uninstall.exe" /$MultiUser.InstallMode /S'
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1

    System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)' ; SHCNE_ASSOCCHANGED
SectionEnd

; Removes what the installer made; each user's MV2.ini in %LOCALAPPDATA%\Morvik2 is the user's
; and stays.
Section "Uninstall"
    Delete "$SMPROGRAMS\${PRODUCT}.lnk"
    Delete "$SMPROGRAMS\${CONSOLE}.lnk"

    ReadRegStr $0 SHCTX "Software\Classes\.QV" ""
    ${If} $0 == "${FILE_CLASS}"
        DeleteRegKey SHCTX "Software\Classes\.QV"
    ${EndIf}
    DeleteRegKey SHCTX "Software\Classes\${FILE_CLASS}"
    DeleteRegKey SHCTX "${UNINSTALL_KEY}"

    Delete "$INSTDIR\morvik2-update.exe"
    Delete "$INSTDIR\morvik2-flash.exe"
    Delete "$INSTDIR\LIESMICH.txt"
    Delete "$INSTDIR\LICENSE.txt"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"

    System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)' ; SHCNE_ASSOCCHANGED
SectionEnd
