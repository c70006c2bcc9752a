; The Windows setup of Velomar, made by scripts/build-windows:
;   makensis -DVERSION=x.y.z -DSTAGE=<folder with the files> -DUNINSTALL_LIST=<its Delete lines> -DICON=<velomar.ico>
;            -DOUTFILE=<setup.exe> velomar.nsi
; Installs into Program Files with a Start-menu entry and an uninstaller; asks whether to
; let the devices' replies (UDP port 2057) through Windows Firewall and whether to put
; velomar-cli.exe on the PATH. Silent installs (/S) take the defaults; /CLIPATH adds the
; PATH entry, /NOFIREWALL leaves the firewall alone.
Unicode true
; A 64-bit installer for 64-bit programs (Debian's makensis defaults to a 32-bit one).
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include "MUI2.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"
!include "WinMessages.nsh"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Velomar"
!define ENV_KEY "SYSTEM\CurrentControlSet\Control\Session Manager\Environment"
!define FIREWALL_RULE "Velomar (UDP 2057)"

Name "Velomar ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Velomar"
InstallDirRegKey HKLM "Software\Velomar" "InstallDir"
VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "Velomar"
VIAddVersionKey "FileDescription" "Velomar setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "CompanyName" "Velomar developers"
VIAddVersionKey "LegalCopyright" "Velomar developers"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_COMPONENTSPAGE_SMALLDESC
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Section "Velomar" SecMain
    SectionIn RO
    SetRegView 64
    SetShellVarContext all  ; the Start menu of every user, as for a program in Program Files
    SetOutPath "$INSTDIR"
    File /r "${STAGE}/*.*"
    WriteUninstaller "$INSTDIR\uninstall.exe"
    CreateDirectory "$SMPROGRAMS\Velomar"
    CreateShortcut "$SMPROGRAMS\Velomar\Velomar.lnk" "$INSTDIR\velomar.exe"
    CreateShortcut "$SMPROGRAMS\Velomar\Uninstall Velomar.lnk" "$INSTDIR\uninstall.exe"
    WriteRegStr HKLM "Software\Velomar" "InstallDir" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Velomar"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Velomar developers"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\velomar.exe"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section "Let device replies in through Windows Firewall (UDP port 2057)" SecFirewall
    ; Without it Windows Firewall drops every reply to a search: "no device found".
    nsExec::ExecToLog 'netsh advfirewall firewall add rule name="${FIREWALL_RULE}" dir=in action=allow protocol=UDP localport=2057'
    Pop $0
    DetailPrint "netsh: $0"
    SetRegView 64
    WriteRegDWORD HKLM "Software\Velomar" "FirewallRule" 1
SectionEnd

Section /o "Put velomar-cli.exe on the PATH" SecPath
    SetRegView 64
    ReadRegStr $0 HKLM "${ENV_KEY}" "Path"
    ${If} $0 == ""
        StrCpy $0 "$INSTDIR"
    ${Else}
        StrCpy $0 "$0;$INSTDIR"
    ${EndIf}
    WriteRegExpandStr HKLM "${ENV_KEY}" "Path" $0
    WriteRegDWORD HKLM "Software\Velomar" "OnPath" 1
    SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=2000
SectionEnd

!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
    !insertmacro MUI_DESCRIPTION_TEXT ${SecMain} "velomar.exe, velomar-cli.exe and the Qt libraries they need."
    !insertmacro MUI_DESCRIPTION_TEXT ${SecFirewall} "An inbound rule for UDP port 2057, where devices answer a search. Removed by the uninstaller."
    !insertmacro MUI_DESCRIPTION_TEXT ${SecPath} "Run velomar-cli from any command prompt. Removed by the uninstaller."
!insertmacro MUI_FUNCTION_DESCRIPTION_END

Function .onInit
    SetRegView 64
    ${GetParameters} $R0
    ClearErrors
    ${GetOptions} $R0 "/CLIPATH" $R1
    ${IfNot} ${Errors}
        SectionSetFlags ${SecPath} ${SF_SELECTED}
    ${EndIf}
    ClearErrors
    ${GetOptions} $R0 "/NOFIREWALL" $R1
    ${IfNot} ${Errors}
        SectionSetFlags ${SecFirewall} 0
    ${EndIf}
FunctionEnd

; $R0: the PATH value; $R1: the entry to take out. Leaves the PATH without it in $R0.
Function un.RemoveFromPath
    StrCpy $R2 ""  ; the PATH being rebuilt
    StrCpy $R3 ""  ; the current entry
    StrCpy $R4 0   ; position
    StrLen $R5 $R0
    ${Do}
        ${If} $R4 >= $R5
            StrCpy $R6 ";"
        ${Else}
            StrCpy $R6 $R0 1 $R4
        ${EndIf}
        ${If} $R6 == ";"
            ${If} $R3 != $R1
            ${AndIf} $R3 != ""
                ${If} $R2 == ""
                    StrCpy $R2 $R3
                ${Else}
                    StrCpy $R2 "$R2;$R3"
                ${EndIf}
            ${EndIf}
            StrCpy $R3 ""
        ${Else}
            StrCpy $R3 "$R3$R6"
        ${EndIf}
        IntOp $R4 $R4 + 1
    ${LoopUntil} $R4 > $R5
    StrCpy $R0 $R2
FunctionEnd

Section "Uninstall"
    SetRegView 64
    SetShellVarContext all
    ReadRegDWORD $0 HKLM "Software\Velomar" "FirewallRule"
    ${If} $0 == 1
        nsExec::ExecToLog 'netsh advfirewall firewall delete rule name="${FIREWALL_RULE}"'
        Pop $0
    ${EndIf}
    ReadRegDWORD $0 HKLM "Software\Velomar" "OnPath"
    ${If} $0 == 1
        ReadRegStr $R0 HKLM "${ENV_KEY}" "Path"
        StrCpy $R1 "$INSTDIR"
        Call un.RemoveFromPath
        WriteRegExpandStr HKLM "${ENV_KEY}" "Path" $R0
        SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=2000
    ${EndIf}
    Delete "$SMPROGRAMS\Velomar\Velomar.lnk"
    Delete "$SMPROGRAMS\Velomar\Uninstall Velomar.lnk"
    RMDir "$SMPROGRAMS\Velomar"
    ; Only what the setup put there: files a user left in the folder stay.
    !include "${UNINSTALL_LIST}"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
    DeleteRegKey HKLM "Software\Velomar"
SectionEnd
