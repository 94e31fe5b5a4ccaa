; The per-user installer of Teebasket, built by scripts/build-windows-package:
;
;   makensis -INPUTCHARSET UTF8 -DVERSION=X.Y.Z -DSTAGE=<folder> -DOUTFILE=<setup.exe> teebasket.nsi
;
; STAGE holds the files to install (the stripped programs, LICENSE and the
; Japanese read-me) and the installer's icon teebasket.ico. No administrator rights: the program goes to
; %LOCALAPPDATA%\Programs\Teebasket, the Start-menu entry to the user's own
; Start menu and the uninstaller's entry to HKCU. `/S` installs silently,
; `/D=<folder>` (last on the command line) chooses another folder.
;
; The uninstaller removes exactly the files the installer put in place. The
; user's golf.ini and tmp.dat (in %APPDATA%\Teebasket, or beside the program)
; and the files the program wrote stay where they are.

!ifndef VERSION | STAGE | OUTFILE
    !error "VERSION, STAGE and OUTFILE must be defined (-DVERSION=... -DSTAGE=... -DOUTFILE=...)"
!endif

; A 64-bit installer for the 64-bit programs (Unicode, as every amd64 target is).
Target amd64-unicode
ManifestDPIAware true
RequestExecutionLevel user
SetCompressor /SOLID lzma

!define PRODUCT "Teebasket"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Teebasket"
!define README "はじめにお読みください.txt"
!define SHORTCUT "$SMPROGRAMS\Teebasket.lnk"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Teebasket"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "Teebasket ${VERSION}"
ShowInstDetails nevershow
ShowUninstDetails nevershow

!include MUI2.nsh
!include FileFunc.nsh

!define MUI_ICON "${STAGE}\teebasket.ico"
!define MUI_UNICON "${STAGE}\teebasket.ico"
!define MUI_FINISHPAGE_RUN "$INSTDIR\teebasket.exe"
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\${README}"
!define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Japanese"

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=${LANG_JAPANESE} "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=${LANG_JAPANESE} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_JAPANESE} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_JAPANESE} "FileDescription" "${PRODUCT} セットアップ"
VIAddVersionKey /LANG=${LANG_JAPANESE} "LegalCopyright" "Copyright (c) 2026 Teebasket contributors"

Section "Install"
    SetShellVarContext current
    SetOutPath "$INSTDIR"
    File "${STAGE}\teebasket.exe"
    File "${STAGE}\teebasket-cli.exe"
    File "${STAGE}\LICENSE"
    File "${STAGE}\${README}"
    WriteUninstaller "$INSTDIR\uninstall.exe"

    CreateShortcut "${SHORTCUT}" "$INSTDIR\teebasket.exe" "" "$INSTDIR\teebasket.exe" 0 \
        SW_SHOWNORMAL "" "ゴルフ場の情報を都道府県ごとにまとめて保存します"

    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "Teebasket contributors"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\teebasket.exe"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    IntFmt $0 "0x%08X" $0
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" "$0"
SectionEnd

Section "Uninstall"
    SetShellVarContext current
    Delete "$INSTDIR\teebasket.exe"
    Delete "$INSTDIR\teebasket-cli.exe"
    Delete "$INSTDIR\LICENSE"
    Delete "$INSTDIR\${README}"
    Delete "$INSTDIR\uninstall.exe"
    ; Only when empty: settings or results the user keeps here stay.
    RMDir "$INSTDIR"
    Delete "${SHORTCUT}"
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
