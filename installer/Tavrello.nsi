; Setup of the Tavrello desktop programs: Corvane.dll (the browser command) and Zephlist.exe
; (the tray program), per machine, with the browser's toolbar button and Tools-menu item.
;
; Built by the project (installer/CMakeLists.txt) with
;   makensis -DBIN_DIR=<folder of the two binaries> -DICON_FILE=<.ico> -DOUT_FILE=<setup.exe>
;
; Command line of the setup program (all optional; /D= must come last, as always):
;   /S                 silent
;   /URL=<base URL>    the service's base URL for the settings value "Tavrello"; a final "/"
;                      is added when missing
;   /NOAUTOSTART       do not start Zephlist at log-on
;   /D=<folder>        installation folder
; Command line of Uninstall.exe:
;   /S                 silent
;   /PURGE             also remove the user's account settings ("email", "password",
;                      "zephlistsize"), which otherwise stay for a later installation

Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include MUI2.nsh
!include nsDialogs.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include Sections.nsh

!ifndef BIN_DIR
  !error "BIN_DIR must name the folder that holds Corvane.dll and Zephlist.exe"
!endif
!ifndef OUT_FILE
  !define OUT_FILE "TavrelloSetup.exe"
!endif

!define PRODUCT "Tavrello"
!define PUBLISHER "Orvek"
!define VERSION "2.0.0.1"
; The public service; the installer's /URL= option points the programs elsewhere.
!define DEFAULT_BASE_URL "https://www.tavrello.com/"

!define SETTINGS_KEY "Software\Orvek\Tavrello"
!define COMPANY_KEY "Software\Orvek"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tavrello"
; Our own identifier for the browser's extension entry.
!define EXTENSION_KEY "Software\Microsoft\Internet Explorer\Extensions\{FE6D93F2-3FAC-43CB-A848-528B1C31650B}"
; The browser's class that runs a command extension's IOleCommandTarget.
!define COMMAND_EXTENSION_CLSID "{1FBA04EE-3024-11D2-8F1F-0000F87ABD16}"
; CTavrelloIE, the command object of Corvane.dll (resources/plugin/Corvane.idl).
!define TAVRELLO_IE_CLSID "{3215FB3A-A2BB-4EBA-8EE8-3E50D0F65E70}"
; Icons of Corvane.dll by resource number (a negative number names a resource id, not an index).
!define BUTTON_ICON "-202"
!define HOT_ICON "-207"

Name "${PRODUCT}"
OutFile "${OUT_FILE}"
InstallDir "$PROGRAMFILES\Tavrello"
BrandingText "${PRODUCT} ${VERSION}"
VIProductVersion "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (C) ${PUBLISHER}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"

Var BaseUrl
Var BaseUrlField
Var PurgeSettings
Var PurgeBox

!ifdef ICON_FILE
  !define MUI_ICON "${ICON_FILE}"
  !define MUI_UNICON "${ICON_FILE}"
!endif
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_COMPONENTS
Page custom ServicePageShow ServicePageLeave
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH

UninstPage custom un.SettingsPageShow un.SettingsPageLeave
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

; Asks a running Zephlist to exit (its own "/u" switch) and waits up to five seconds for its
; single-instance mutex to go, so that its file can be replaced or removed and a registration
; run is not mistaken for a second start.
!macro StopZephlist un
Function ${un}StopZephlist
  IfFileExists "$INSTDIR\Zephlist.exe" 0 done
  ExecWait '"$INSTDIR\Zephlist.exe" /u'
  StrCpy $1 0
  ${Do}
    ; SYNCHRONIZE access; only the mutex's existence matters.
    System::Call 'kernel32::OpenMutexW(i 0x00100000, i 0, w "Zephlist") p .r0'
    ${If} $0 P= 0
      ${Break}
    ${EndIf}
    System::Call 'kernel32::CloseHandle(p r0)'
    ${If} $1 >= 50
      ${Break}
    ${EndIf}
    Sleep 100
    IntOp $1 $1 + 1
  ${Loop}
done:
FunctionEnd
!macroend
!insertmacro StopZephlist ""
!insertmacro StopZephlist "un."

; $R0: a base URL. Returns it in $R0 with a final "/" (every address is the base URL with a
; path appended).
Function EndWithSlash
  StrCpy $R1 $R0 1 -1
  ${If} $R1 != "/"
    StrCpy $R0 "$R0/"
  ${EndIf}
FunctionEnd


Function ServicePageShow
  !insertmacro MUI_HEADER_TEXT "Tavrello service" "Where the programs reach the Tavrello service."
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateLabel} 0 0 100% 24u "Base URL of the service. The browser button and the tray program send and read your favorites below this address."
  Pop $0
  ${NSD_CreateText} 0 30u 100% 12u "$BaseUrl"
  Pop $BaseUrlField
  nsDialogs::Show
FunctionEnd

Function ServicePageLeave
  ${NSD_GetText} $BaseUrlField $R0
  ${If} $R0 == ""
    MessageBox MB_OK|MB_ICONEXCLAMATION "Please enter the base URL of the Tavrello service."
    Abort
  ${EndIf}
  StrCpy $BaseUrl $R0
FunctionEnd

Section "Tavrello programs" SecPrograms
  SectionIn RO
  Call StopZephlist
  SetOutPath "$INSTDIR"
  File "${BIN_DIR}/Corvane.dll"
  File "${BIN_DIR}/Zephlist.exe"
  WriteUninstaller "$INSTDIR\Uninstall.exe"

  StrCpy $0 "not started"
  ExecWait '"$SYSDIR\regsvr32.exe" /s "$INSTDIR\Corvane.dll"' $0
  ${If} $0 != 0
    SetErrorLevel 2
    MessageBox MB_OK|MB_ICONSTOP "Corvane.dll could not be registered (regsvr32 returned $0)." /SD IDOK
    Abort
  ${EndIf}
  StrCpy $0 "not started"
  ExecWait '"$INSTDIR\Zephlist.exe" /RegServer' $0
  ${If} $0 != 0
    SetErrorLevel 2
    MessageBox MB_OK|MB_ICONSTOP "Zephlist.exe could not be registered (exit code $0)." /SD IDOK
    Abort
  ${EndIf}

  StrCpy $R0 $BaseUrl
  Call EndWithSlash
  WriteRegStr HKCU "${SETTINGS_KEY}" "Tavrello" $R0

  WriteRegStr HKLM "${EXTENSION_KEY}" "ButtonText" "Tavrello"
  WriteRegStr HKLM "${EXTENSION_KEY}" "MenuText" "Add to Tavrello..."
  WriteRegStr HKLM "${EXTENSION_KEY}" "MenuStatusBar" "Add the page shown to your Tavrello favorites"
  WriteRegStr HKLM "${EXTENSION_KEY}" "CLSID" "${COMMAND_EXTENSION_CLSID}"
  WriteRegStr HKLM "${EXTENSION_KEY}" "ClsidExtension" "${TAVRELLO_IE_CLSID}"
  WriteRegStr HKLM "${EXTENSION_KEY}" "Icon" "$INSTDIR\Corvane.dll,${BUTTON_ICON}"
  WriteRegStr HKLM "${EXTENSION_KEY}" "HotIcon" "$INSTDIR\Corvane.dll,${HOT_ICON}"
  WriteRegStr HKLM "${EXTENSION_KEY}" "Default Visible" "Yes"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Zephlist.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section "Start Zephlist at log-on" SecAutostart
  ; Quoted: the folder usually holds a blank.
  WriteRegStr HKCU "${RUN_KEY}" "Tavrello" '"$INSTDIR\Zephlist.exe"'
SectionEnd

; $R9: the command line's parameters. Returns in $R0 the value of "/URL=" up to the next blank
; (a URL holds none), or "" when the option is absent. GetOptions of FileFunc.nsh cannot be
; used: it ends a value at the next "/", and every URL holds several.
Function UrlOption
  StrCpy $R0 ""
  StrLen $R2 $R9
  StrCpy $R3 0
  ${Do}
    ${If} $R3 >= $R2
      Return
    ${EndIf}
    StrCpy $R4 $R9 5 $R3
    ${If} $R4 == "/URL="
      ${Break}
    ${EndIf}
    IntOp $R3 $R3 + 1
  ${Loop}
  IntOp $R3 $R3 + 5
  ${Do}
    StrCpy $R4 $R9 1 $R3
    ${If} $R4 == ""
    ${OrIf} $R4 == " "
      ${Break}
    ${EndIf}
    StrCpy $R0 "$R0$R4"
    IntOp $R3 $R3 + 1
  ${Loop}
FunctionEnd

; After the sections: it unselects one by its index.
Function .onInit
  StrCpy $BaseUrl "${DEFAULT_BASE_URL}"
  ${GetParameters} $R9
  Call UrlOption
  ${If} $R0 != ""
    StrCpy $BaseUrl $R0
  ${EndIf}
  ClearErrors
  ${GetOptions} $R9 "/NOAUTOSTART" $R0
  ${IfNot} ${Errors}
    !insertmacro UnselectSection ${SecAutostart}
  ${EndIf}
FunctionEnd

Function un.onInit
  StrCpy $PurgeSettings 0
  ${GetParameters} $R9
  ClearErrors
  ${GetOptions} $R9 "/PURGE" $R0
  ${IfNot} ${Errors}
    StrCpy $PurgeSettings 1
  ${EndIf}
FunctionEnd

Function un.SettingsPageShow
  !insertmacro MUI_HEADER_TEXT "Uninstall Tavrello" "Remove the Tavrello programs from this computer."
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateLabel} 0 0 100% 24u "Setup removes the programs, their registration, the browser button and the start at log-on from $INSTDIR and this computer."
  Pop $0
  ${NSD_CreateCheckbox} 0 34u 100% 12u "Also remove my account settings (e-mail address, password, window size)"
  Pop $PurgeBox
  ${If} $PurgeSettings == 1
    ${NSD_Check} $PurgeBox
  ${EndIf}
  nsDialogs::Show
FunctionEnd

Function un.SettingsPageLeave
  ${NSD_GetState} $PurgeBox $PurgeSettings
  ${If} $PurgeSettings == ${BST_CHECKED}
    StrCpy $PurgeSettings 1
  ${Else}
    StrCpy $PurgeSettings 0
  ${EndIf}
FunctionEnd

; The start at log-on is removed only while it still names this Zephlist.exe, quoted (as
; setup writes it) or bare (as the program's options dialog writes it).
Function un.RemoveAutostart
  ClearErrors
  ReadRegStr $0 HKCU "${RUN_KEY}" "Tavrello"
  ${If} ${Errors}
    Return
  ${EndIf}
  ${If} $0 == '"$INSTDIR\Zephlist.exe"'
  ${OrIf} $0 == "$INSTDIR\Zephlist.exe"
    DeleteRegValue HKCU "${RUN_KEY}" "Tavrello"
  ${EndIf}
FunctionEnd

Section "Uninstall"
  Call un.StopZephlist
  ExecWait '"$SYSDIR\regsvr32.exe" /u /s "$INSTDIR\Corvane.dll"'
  ExecWait '"$INSTDIR\Zephlist.exe" /UnregServer'

  DeleteRegKey HKLM "${EXTENSION_KEY}"
  Call un.RemoveAutostart
  DeleteRegValue HKCU "${SETTINGS_KEY}" "Tavrello"
  ${If} $PurgeSettings == 1
    DeleteRegValue HKCU "${SETTINGS_KEY}" "email"
    DeleteRegValue HKCU "${SETTINGS_KEY}" "password"
    DeleteRegValue HKCU "${SETTINGS_KEY}" "zephlistsize"
  ${EndIf}
  DeleteRegKey /ifempty HKCU "${SETTINGS_KEY}"
  DeleteRegKey /ifempty HKCU "${COMPANY_KEY}"

  ; A browser may still hold the plug-in: then it goes at the next restart.
  Delete /REBOOTOK "$INSTDIR\Corvane.dll"
  Delete /REBOOTOK "$INSTDIR\Zephlist.exe"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir /REBOOTOK "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
