; Setup of the Tavrello desktop programs: Corvane.dll (the browser command) and Zephlist.exe
; (the tray program), per machine, with the browser's toolbar button and Tools-menu item.
;
; Built by the project (installer/CMakeLists.txt) with
;   makensis -DBIN_DIR=<folder of the two binaries> -DICON_FILE=<.ico> -DOUT_FILE=<setup.exe>
;            [-DX64_CORVANE=<64-bit Corvane.dll>] [-DTARGET_X64] [-DSIGN_SCRIPT=<sign.sh>]
; The 32-bit setup installs the 32-bit programs and, on 64-bit Windows, the 64-bit Corvane.dll
; from X64_CORVANE in the folder "x64" beside them, registered in the 64-bit registry view, so
; that the browser's 64-bit processes show the command too. With TARGET_X64 it is a 64-bit
; setup of the 64-bit programs (BIN_DIR then holds the 64-bit build), for hosts that run no
; 32-bit program: it installs and registers no 32-bit Corvane.dll, so the browser's 32-bit
; processes do not show the command.
;
; Per machine: the programs, their registration, the browser's extension entry and the machine
; default of the base URL (HKLM "Software\Orvek\Tavrello" "Tavrello", read by the programs when
; the user has no value of their own). Per user, for the account that runs setup: its own
; base URL value and the start at log-on. Silent runs write what they did to Setup.log in the
; installation folder.
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

!ifdef TARGET_X64
  Target amd64-unicode
!else
  Unicode true
!endif
SetCompressor /SOLID lzma
; Reproducible: the packed files carry no time of their own (setup gives them the time of
; installation), so two builds of the same sources give the same setup, byte for byte.
SetDateSave off
!ifdef SIGN_SCRIPT
  ; The uninstaller before it is packed, then the setup itself (see scripts/sign.sh).
  !uninstfinalize 'bash "${SIGN_SCRIPT}" --file "%1"'
  !finalize 'bash "${SIGN_SCRIPT}" --file "%1"'
!endif
RequestExecutionLevel admin

!include MUI2.nsh
!include nsDialogs.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include Sections.nsh
!include x64.nsh
!include WinMessages.nsh

!ifndef BIN_DIR
  !error "BIN_DIR must name the folder that holds Corvane.dll and Zephlist.exe"
!endif
!ifndef OUT_FILE
  !define OUT_FILE "TavrelloSetup.exe"
!endif

!define PRODUCT "Tavrello"
!define PUBLISHER "Orvek"
; The setup carries the plug-in's version and the copyright year of the programs' own header.
!define VERSION_HEADER "${__FILEDIR__}/../resources/version.h"
!searchparse /file "${VERSION_HEADER}" "#define CORVANE_VERSION_MAJOR " VERSION_MAJOR
!searchparse /file "${VERSION_HEADER}" "#define CORVANE_VERSION_MINOR " VERSION_MINOR
!searchparse /file "${VERSION_HEADER}" "#define CORVANE_VERSION_PATCH " VERSION_PATCH
!searchparse /file "${VERSION_HEADER}" "#define CORVANE_VERSION_BUILD " VERSION_BUILD
!searchparse /file "${VERSION_HEADER}" "#define TAVRELLO_COPYRIGHT_YEAR " COPYRIGHT_YEAR
!define VERSION "${VERSION_MAJOR}.${VERSION_MINOR}.${VERSION_PATCH}.${VERSION_BUILD}"
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
; The rest of the programs' registration (Corvane.idl, Zephlist.idl, kCorvaneAppId of Corvane.dll),
; removed directly when the programs may not be run.
!define TAVRELLO_IE_IID "{75895B6B-9DD2-4B3C-9277-3D33D19C09A5}"
!define CORVANE_LIBID "{87ED8189-96C8-4B9C-9D74-00751AB9E46B}"
!define CORVANE_APPID "{F78734E6-86FF-4C62-90A9-A85FC12B15E4}"
!define ZEPHLIST_APPID "{001BAB6E-69BF-4B4C-AB10-B3CE495FD9F9}"
; The class and title of Zephlist's pop-up window, by which a running copy is found.
!define ZEPHLIST_WINDOW_CLASS "ZephlistPopup"
!define ZEPHLIST_WINDOW_TITLE "Zephlist"
; Zephlist's Exit command (ID_EXIT).
!define ZEPHLIST_ID_EXIT 32769
; Icons of Corvane.dll by resource number (a negative number names a resource id, not an index).
!define BUTTON_ICON "-202"
!define HOT_ICON "-207"

Name "${PRODUCT}"
OutFile "${OUT_FILE}"
!ifdef TARGET_X64
  InstallDir "$PROGRAMFILES64\Tavrello"
!else
  InstallDir "$PROGRAMFILES\Tavrello"
!endif
BrandingText "${PRODUCT} ${VERSION}"
VIProductVersion "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (C) ${COPYRIGHT_YEAR} ${PUBLISHER}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"

Var BaseUrl
Var BaseUrlField
Var PurgeSettings
Var PurgeBox
Var LogFile

!ifdef ICON_FILE
  !define MUI_ICON "${ICON_FILE}"
  !define MUI_UNICON "${ICON_FILE}"
!endif
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_COMPONENTS
Page custom ServicePageShow ServicePageLeave
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE DirectoryPageLeave
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH

UninstPage custom un.SettingsPageShow un.SettingsPageLeave
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

; Asks a running Zephlist to exit through its own window (found as a second start finds it, by
; class and title, and sent the Exit command) and waits up to five seconds for its
; single-instance mutex to go, so that its file can be replaced or removed. No program of the
; installation folder is started for it: the file there may be an old or a foreign one.
!macro StopZephlist un
Function ${un}StopZephlist
  FindWindow $0 "${ZEPHLIST_WINDOW_CLASS}" "${ZEPHLIST_WINDOW_TITLE}"
  ${If} $0 P= 0
    Return
  ${EndIf}
  System::Call 'user32::PostMessageW(p r0, i ${WM_COMMAND}, p ${ZEPHLIST_ID_EXIT}, p 0)'
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
FunctionEnd
!macroend
!insertmacro StopZephlist ""
!insertmacro StopZephlist "un."

; Log TEXT: a line in the details list and, in a silent run, in Setup.log of the installation
; folder (opened by the programs section).
!macro Log text
  DetailPrint "${text}"
  ${If} ${Silent}
  ${AndIf} $LogFile != ""
    FileWrite $LogFile "${text}$\r$\n"
  ${EndIf}
!macroend
!define Log "!insertmacro Log"

; The 64-bit registry view for the entries of a 64-bit setup; the 32-bit setup keeps the
; default (32-bit) view except where it says otherwise.
!macro NativeRegView
  !ifdef TARGET_X64
    SetRegView 64
  !endif
!macroend

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

; $R0: a base URL. Sets $R1 to 1 when it is not an https address (the programs then send the
; password unencrypted with every request), otherwise 0.
Function IsUnencryptedUrl
  StrCpy $R1 $R0 8
  ${If} $R1 == "https://"
    StrCpy $R1 0
  ${Else}
    StrCpy $R1 1
  ${EndIf}
FunctionEnd

Function ServicePageLeave
  ${NSD_GetText} $BaseUrlField $R0
  ${If} $R0 == ""
    MessageBox MB_OK|MB_ICONEXCLAMATION "Please enter the base URL of the Tavrello service."
    Abort
  ${EndIf}
  Call IsUnencryptedUrl
  ${If} $R1 == 1
    MessageBox MB_OKCANCEL|MB_ICONEXCLAMATION "This address does not begin with https://. E-mail addresses and passwords would cross the network unencrypted with every request.$\r$\n$\r$\nThe address becomes the default for every user of this computer. Use it all the same?" IDOK +2
    Abort
  ${EndIf}
  StrCpy $BaseUrl $R0
FunctionEnd

; Who may change the installation folder matters: setup and the uninstaller run its programs
; as administrator, and every user's browser loads Corvane.dll from it.
;
; $R0: a folder. Sets $R1 to 1 when its owner is the administrators group or SYSTEM, else 0.
!macro OwnedByAdministrators un
Function ${un}OwnedByAdministrators
  StrCpy $R1 0
  ; SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION
  System::Call 'advapi32::GetNamedSecurityInfoW(w R0, i 1, i 1, *p .r2, p 0, p 0, p 0, *p .r3) i .r4'
  ${If} $4 == 0
    ; WinLocalSystemSid, WinBuiltinAdministratorsSid
    System::Call 'advapi32::IsWellKnownSid(p r2, i 22) i .r5'
    System::Call 'advapi32::IsWellKnownSid(p r2, i 26) i .r6'
    ${If} $5 <> 0
    ${OrIf} $6 <> 0
      StrCpy $R1 1
    ${EndIf}
    System::Call 'kernel32::LocalFree(p r3)'
  ${EndIf}
FunctionEnd
!macroend
!insertmacro OwnedByAdministrators ""
!insertmacro OwnedByAdministrators "un."

; $R0: a folder (full path). Sets $R1 to 1 when it lies in one of the Program Files folders,
; whose access lists let only administrators change what is in them, else 0.
Function InProgramFiles
  StrCpy $R1 0
  ${ForEach} $R2 1 2 + 1
    ${If} $R2 == 1
      StrCpy $R3 "$PROGRAMFILES32\"
    ${Else}
      StrCpy $R3 "$PROGRAMFILES64\"
    ${EndIf}
    StrLen $R4 $R3
    StrCpy $R5 $R0 $R4
    ${If} $R5 == $R3
      StrCpy $R1 1
    ${EndIf}
  ${Next}
FunctionEnd

; $R0: a folder. Sets $R1 to "" when setup may install into it, otherwise to the reason why not:
; a folder that exists outside the Program Files folders must be empty and owned by the
; administrators or SYSTEM, so that no other user can have put a program there or change one.
Function CheckInstallFolder
  StrCpy $R1 ""
  ${IfNot} ${FileExists} "$R0\*.*"
    Return
  ${EndIf}
  ; "C:\Program Files\..\Elsewhere" is not in Program Files.
  GetFullPathName $R0 $R0
  Call InProgramFiles
  ${If} $R1 == 1
    StrCpy $R1 ""
    Return
  ${EndIf}
  StrCpy $R6 "empty"
  FindFirst $R7 $R8 "$R0\*.*"
  ${DoWhile} $R8 != ""
    ${If} $R8 != "."
    ${AndIf} $R8 != ".."
      StrCpy $R6 "not empty"
      ${Break}
    ${EndIf}
    FindNext $R7 $R8
  ${Loop}
  FindClose $R7
  Call OwnedByAdministrators
  ${If} $R6 != "empty"
  ${OrIf} $R1 != 1
    StrCpy $R1 "The folder $R0 already exists, and other users of this computer may be able to change what is in it. Choose a new folder, an empty folder that only administrators own, or a folder in Program Files."
  ${Else}
    StrCpy $R1 ""
  ${EndIf}
FunctionEnd

Function DirectoryPageLeave
  StrCpy $R0 $INSTDIR
  Call CheckInstallFolder
  ${If} $R1 != ""
    MessageBox MB_OK|MB_ICONSTOP "$R1"
    Abort
  ${EndIf}
FunctionEnd

; $INSTDIR: owned by the administrators; SYSTEM and the administrators may change it, users
; may read and run what is in it only. Later files and folders inherit that. Sets the error flag
; when it could not be applied.
Function ProtectInstallFolder
  ClearErrors
  System::Call 'advapi32::ConvertStringSecurityDescriptorToSecurityDescriptorW(w "O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FRFX;;;BU)(A;OICI;FRFX;;;AU)", i 1, *p .r1, p 0) i .r0'
  ${If} $0 == 0
    SetErrors
    Return
  ${EndIf}
  ; OWNER_, DACL_ and PROTECTED_DACL_SECURITY_INFORMATION: nothing inherited from the parent.
  System::Call 'advapi32::SetFileSecurityW(w "$INSTDIR", i 0x80000005, p r1) i .r0'
  System::Call 'kernel32::LocalFree(p r1)'
  ${If} $0 == 0
    SetErrors
  ${EndIf}
FunctionEnd

; InstallFile SOURCE NAME: unpacks SOURCE into the output folder and ends setup when it could
; not be written (NSIS itself skips such a file in a silent run and goes on). Nothing in the
; folder has run yet at that point: what is left there may be an old or a foreign file.
!macro InstallFile source name
  ClearErrors
  File "${source}"
  ${If} ${Errors}
    StrCpy $R0 "${name}"
    Call FailToWrite
  ${EndIf}
!macroend
!define InstallFile "!insertmacro InstallFile"

; $R0: the name of a file in the output folder that could not be written. Ends setup, naming
; the program that holds it when the system can tell.
Function FailToWrite
  StrCpy $R9 "$OUTDIR\$R0 could not be written."
  ClearErrors
  FileOpen $0 "$OUTDIR\$R0" a
  ${If} ${Errors}
    Call HolderOfFile
    ${If} $R1 != ""
      StrCpy $R9 "$R9 It is in use by $R1: close that program and run setup again."
    ${Else}
      StrCpy $R9 "$R9 It may be in use by another program (a browser window holds Corvane.dll): close it and run setup again."
    ${EndIf}
  ${Else}
    FileClose $0
  ${EndIf}
  Call FailSetup
FunctionEnd

; $OUTDIR\$R0: a file. Sets $R1 to the program that holds it open, as the restart manager
; names it ("name (process id)"), or "" when it cannot tell.
Function HolderOfFile
  StrCpy $R1 ""
  ; The session key: CCH_RM_SESSION_KEY + 1 wide characters.
  System::Call 'rstrtmgr::RmStartSession(*i .r1, i 0, w .r2) i .r0'
  ${If} $0 != 0
    Return
  ${EndIf}
  System::Call '*(&w1024 "$OUTDIR\$R0") p .r3'
  System::Call '*(p r3) p .r4'
  System::Call 'rstrtmgr::RmRegisterResources(i r1, i 1, p r4, i 0, p 0, i 0, p 0) i .r0'
  ${If} $0 == 0
    ; One RM_PROCESS_INFO: process id and start time, then the application's name.
    System::Alloc 668
    Pop $5
    System::Call 'rstrtmgr::RmGetList(i r1, *i .r6, *i 1 r7, p r5, *i .r8) i .r0'
    ${If} $0 == 0
    ${AndIf} $7 >= 1
      System::Call '*$5(i .r6, i, i, &w256 .r9)'
      StrCpy $R1 "$9 (process $6)"
    ${EndIf}
    System::Free $5
  ${EndIf}
  System::Free $4
  System::Free $3
  System::Call 'rstrtmgr::RmEndSession(i r1)'
FunctionEnd

; What the uninstaller needs to remove everything; written before anything is registered, so
; that a setup that fails half-way can still be removed from Programs and Features.
Function WriteUninstallEntry
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Zephlist.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
FunctionEnd

Section "Tavrello programs" SecPrograms
  SectionIn RO
  StrCpy $R0 $INSTDIR
  Call CheckInstallFolder
  ${If} $R1 != ""
    StrCpy $R9 $R1
    Call FailSetup
  ${EndIf}
  Call StopZephlist
  SetOutPath "$INSTDIR"
  Call ProtectInstallFolder
  ${If} ${Errors}
    StrCpy $R9 "Only administrators may be allowed to change $INSTDIR, and its access list could not be set."
    Call FailSetup
  ${EndIf}
  ${If} ${Silent}
    FileOpen $LogFile "$INSTDIR\Setup.log" w
  ${EndIf}
  ${Log} "Installing ${PRODUCT} ${VERSION} into $INSTDIR"
  ${InstallFile} "${BIN_DIR}/Corvane.dll" "Corvane.dll"
  ${InstallFile} "${BIN_DIR}/Zephlist.exe" "Zephlist.exe"
  ClearErrors
  WriteUninstaller "$INSTDIR\Uninstall.exe"
  ${If} ${Errors}
    StrCpy $R0 "Uninstall.exe"
    Call FailToWrite
  ${EndIf}
  Call WriteUninstallEntry

  StrCpy $0 "not started"
  ExecWait '"$SYSDIR\regsvr32.exe" /s "$INSTDIR\Corvane.dll"' $0
  ${If} $0 != 0
    StrCpy $R9 "Corvane.dll could not be registered (regsvr32 returned $0)."
    Call FailSetup
  ${EndIf}
  ${Log} "Registered $INSTDIR\Corvane.dll"
  StrCpy $0 "not started"
  ExecWait '"$INSTDIR\Zephlist.exe" /RegServer' $0
  ${If} $0 != 0
    StrCpy $R9 "Zephlist.exe could not be registered (exit code $0)."
    Call FailSetup
  ${EndIf}
  ${Log} "Registered $INSTDIR\Zephlist.exe"

  StrCpy $R0 $BaseUrl
  Call EndWithSlash
  Call IsUnencryptedUrl
  ${If} $R1 == 1
    ${Log} "Warning: the base URL $R0 is not https: the password crosses the network unencrypted with every request, for every user of this computer who keeps this default"
  ${EndIf}
  WriteRegStr HKCU "${SETTINGS_KEY}" "Tavrello" $R0
  WriteRegStr HKLM "${SETTINGS_KEY}" "Tavrello" $R0
  ${Log} "Base URL $R0 (for this user and as the machine's default)"
  StrCpy $R1 "$INSTDIR\Corvane.dll"
  Call WriteExtensionEntry

!ifdef X64_CORVANE
  ${If} ${RunningX64}
    SetOutPath "$INSTDIR\x64"
    ${InstallFile} "${X64_CORVANE}" "Corvane.dll"
    SetOutPath "$INSTDIR"
    StrCpy $0 "not started"
    ${DisableX64FSRedirection}
    ExecWait '"$SYSDIR\regsvr32.exe" /s "$INSTDIR\x64\Corvane.dll"' $0
    ${EnableX64FSRedirection}
    ${If} $0 != 0
      StrCpy $R9 "The 64-bit Corvane.dll could not be registered (regsvr32 returned $0)."
      Call FailSetup
    ${EndIf}
    ${Log} "Registered $INSTDIR\x64\Corvane.dll in the 64-bit view"
    SetRegView 64
    WriteRegStr HKLM "${SETTINGS_KEY}" "Tavrello" $R0
    StrCpy $R1 "$INSTDIR\x64\Corvane.dll"
    Call WriteExtensionEntry
    SetRegView 32
  ${EndIf}
!endif

  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; $R9: what failed. Logs and shows it and ends setup with exit code 2.
Function FailSetup
  ${Log} "Failed: $R9"
  ${If} $LogFile != ""
    FileClose $LogFile
  ${EndIf}
  SetErrorLevel 2
  MessageBox MB_OK|MB_ICONSTOP "$R9" /SD IDOK
  Abort
FunctionEnd

; $R1: the Corvane.dll whose icons the browser shows. Writes the extension entry in the
; registry view in force.
Function WriteExtensionEntry
  WriteRegStr HKLM "${EXTENSION_KEY}" "ButtonText" "Tavrello"
  WriteRegStr HKLM "${EXTENSION_KEY}" "MenuText" "Add to Tavrello..."
  WriteRegStr HKLM "${EXTENSION_KEY}" "MenuStatusBar" "Add the page shown to your Tavrello favorites"
  WriteRegStr HKLM "${EXTENSION_KEY}" "CLSID" "${COMMAND_EXTENSION_CLSID}"
  WriteRegStr HKLM "${EXTENSION_KEY}" "ClsidExtension" "${TAVRELLO_IE_CLSID}"
  WriteRegStr HKLM "${EXTENSION_KEY}" "Icon" "$R1,${BUTTON_ICON}"
  WriteRegStr HKLM "${EXTENSION_KEY}" "HotIcon" "$R1,${HOT_ICON}"
  WriteRegStr HKLM "${EXTENSION_KEY}" "Default Visible" "Yes"
FunctionEnd

Section "Start Zephlist at log-on" SecAutostart
  ; Quoted: the folder usually holds a blank. Only for the account that runs setup; another
  ; user ticks it in Zephlist's options.
  WriteRegStr HKCU "${RUN_KEY}" "Tavrello" '"$INSTDIR\Zephlist.exe"'
  ${Log} "Zephlist starts at log-on for this user"
SectionEnd

Section "-Close the log"
  ${Log} "Done"
  ${If} $LogFile != ""
    FileClose $LogFile
    StrCpy $LogFile ""
  ${EndIf}
SectionEnd

; $R9: the command line's parameters. Returns in $R0 the value of "/URL=" up to the next blank
; (a URL holds none), or "" when the option is absent. Quotes are taken off the way they were
; put on: /URL="<address>" and "/URL=<address>" give the bare address. GetOptions of
; FileFunc.nsh cannot be used: it ends a value at the next "/", and every URL holds several.
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
  ; $R5: the quote that closes the option's word, when one opened it.
  StrCpy $R5 ""
  ${If} $R3 > 0
    IntOp $R4 $R3 - 1
    StrCpy $R4 $R9 1 $R4
    ${If} $R4 == '"'
      StrCpy $R5 '"'
    ${EndIf}
  ${EndIf}
  IntOp $R3 $R3 + 5
  StrCpy $R4 $R9 1 $R3
  ${If} $R5 == ""
  ${AndIf} $R4 == '"'
    StrCpy $R5 '"'
    IntOp $R3 $R3 + 1
  ${EndIf}
  ${Do}
    StrCpy $R4 $R9 1 $R3
    ${If} $R4 == ""
    ${OrIf} $R4 == " "
    ${OrIf} $R4 == $R5
      ${Break}
    ${EndIf}
    StrCpy $R0 "$R0$R4"
    IntOp $R3 $R3 + 1
  ${Loop}
FunctionEnd

; After the sections: it unselects one by its index.
Function .onInit
!ifdef TARGET_X64
  ${IfNot} ${RunningX64}
    SetErrorLevel 2
    MessageBox MB_OK|MB_ICONSTOP "This setup installs the 64-bit programs and needs 64-bit Windows: use TavrelloSetup.exe." /SD IDOK
    Quit
  ${EndIf}
!endif
  !insertmacro NativeRegView
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
  !insertmacro NativeRegView
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

; The machine default of the base URL, in the registry view in force, and the keys it leaves
; empty.
Function un.RemoveMachineBaseUrl
  DeleteRegValue HKLM "${SETTINGS_KEY}" "Tavrello"
  DeleteRegKey /ifempty HKLM "${SETTINGS_KEY}"
  DeleteRegKey /ifempty HKLM "${COMPANY_KEY}"
FunctionEnd

; The registration of both programs, removed from the registry in the view in force without
; running them: for a folder whose programs may have been changed by someone else.
Function un.RemoveRegistrationDirectly
  DeleteRegKey HKCR "CLSID\${TAVRELLO_IE_CLSID}"
  DeleteRegKey HKCR "Corvane.TavrelloIE"
  DeleteRegKey HKCR "Corvane.TavrelloIE.1"
  DeleteRegKey HKCR "AppID\${CORVANE_APPID}"
  DeleteRegKey HKCR "AppID\Corvane.DLL"
  DeleteRegKey HKCR "Interface\${TAVRELLO_IE_IID}"
  DeleteRegKey HKCR "TypeLib\${CORVANE_LIBID}"
  DeleteRegKey HKCR "AppID\${ZEPHLIST_APPID}"
  DeleteRegKey HKCR "AppID\Zephlist.EXE"
  DeleteRegKey HKCR "TypeLib\${ZEPHLIST_APPID}"
FunctionEnd

Section "Uninstall"
  Call un.StopZephlist
  ; Setup gave the folder to the administrators; if it has another owner now, its programs may
  ; not be the ones setup put there, and they must not run as administrator.
  StrCpy $R0 $INSTDIR
  Call un.OwnedByAdministrators
  ${If} $R1 == 1
    ExecWait '"$SYSDIR\regsvr32.exe" /u /s "$INSTDIR\Corvane.dll"'
    ExecWait '"$INSTDIR\Zephlist.exe" /UnregServer'
  ${Else}
    MessageBox MB_OK|MB_ICONEXCLAMATION "$INSTDIR is no longer owned by the administrators, so the programs in it may have been changed by someone else. They are not run: their registration is removed from the registry instead." /SD IDOK
    Call un.RemoveRegistrationDirectly
  ${EndIf}
!ifndef TARGET_X64
  ${If} ${RunningX64}
  ${AndIf} ${FileExists} "$INSTDIR\x64\Corvane.dll"
    ${If} $R1 == 1
      ${DisableX64FSRedirection}
      ExecWait '"$SYSDIR\regsvr32.exe" /u /s "$INSTDIR\x64\Corvane.dll"'
      ${EnableX64FSRedirection}
    ${Else}
      SetRegView 64
      Call un.RemoveRegistrationDirectly
      SetRegView 32
    ${EndIf}
    Delete /REBOOTOK "$INSTDIR\x64\Corvane.dll"
    RMDir /REBOOTOK "$INSTDIR\x64"
  ${EndIf}
  ${If} ${RunningX64}
    SetRegView 64
    DeleteRegKey HKLM "${EXTENSION_KEY}"
    Call un.RemoveMachineBaseUrl
    SetRegView 32
  ${EndIf}
!endif

  DeleteRegKey HKLM "${EXTENSION_KEY}"
  Call un.RemoveMachineBaseUrl
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
  Delete "$INSTDIR\Setup.log"
  RMDir /REBOOTOK "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
