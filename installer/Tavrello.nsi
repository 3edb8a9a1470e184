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
;                      is added when missing; anything but a plain http:// or https://
;                      address ends setup (exit code 2)
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
  ; The uninstaller before it is packed, then the setup itself (see scripts/sign.sh). A finalize
  ; command for the uninstaller makes makensis pack it as a whole program of its own, about 48 KB
  ; more, so it is given only when there is a certificate (in the environment, as sign.sh reads
  ; it) to sign with.
  !define SIGN_CERTIFICATE "$%TAVRELLO_SIGN_PKCS12%"
  !if "${SIGN_CERTIFICATE}" != "$${U+25}TAVRELLO_SIGN_PKCS12%"
    !uninstfinalize 'bash "${SIGN_SCRIPT}" --file "%1"'
  !endif
  !finalize 'bash "${SIGN_SCRIPT}" --file "%1"'
!endif
RequestExecutionLevel admin
; The setup's and the uninstaller's own pages stay sharp at any display scale.
ManifestDPIAware true

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
; The document mode of the browser control in Zephlist.exe: without it the control shows the
; service's pages as the oldest browser version would. 11001: the newest standards mode.
!define EMULATION_KEY "Software\Microsoft\Internet Explorer\Main\FeatureControl\FEATURE_BROWSER_EMULATION"
!define EMULATION_MODE 11001
; Owned by the administrators; SYSTEM and the administrators may change it, users may read and
; run what is in it only, and what is made in it later inherits that (nothing from the parent).
!define FOLDER_SECURITY "O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FRFX;;;BU)(A;OICI;FRFX;;;AU)"
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
; Why the /URL= of the command line is refused, or "".
Var UrlProblem
; 1 when the installation folder did not exist when setup checked it first: then only a folder
; that setup makes itself is used.
Var FolderIsNew

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
; installation folder is started for it: the file there may be an old or a foreign one. Sets
; $R1 to 1 when it is still running after that, else 0.
!macro StopZephlist un
Function ${un}StopZephlist
  StrCpy $R1 0
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
      StrCpy $R1 1
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
  Call EndWithSlash
  Call CheckBaseUrl
  ${If} $R1 != ""
    MessageBox MB_OK|MB_ICONEXCLAMATION "$R1"
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

; $INSTDIR, an existing folder: gets FOLDER_SECURITY. Sets the error flag when it could not be
; applied.
Function ProtectInstallFolder
  ClearErrors
  System::Call 'advapi32::ConvertStringSecurityDescriptorToSecurityDescriptorW(w "${FOLDER_SECURITY}", i 1, *p .r1, p 0) i .r0'
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

; Makes $INSTDIR (and any folder missing above it) with FOLDER_SECURITY from the start, so that
; nobody else can put anything in it between its making and its protection. Sets $R1 to 0, or
; to the error code: 183 when it exists already.
Function MakeProtectedFolder
  System::Call 'advapi32::ConvertStringSecurityDescriptorToSecurityDescriptorW(w "${FOLDER_SECURITY}", i 1, *p .r1, p 0) i .r0 ? e'
  Pop $R1
  ${If} $0 == 0
    Return
  ${EndIf}
  ; SECURITY_ATTRIBUTES: length, descriptor, no inherited handles.
!ifdef TARGET_X64
  System::Call '*(i 24, i 0, p r1, i 0, i 0) p .r2'
!else
  System::Call '*(i 12, p r1, i 0) p .r2'
!endif
  System::Call 'shell32::SHCreateDirectoryExW(p 0, w "$INSTDIR", p r2) i .R1'
  ; ERROR_FILE_EXISTS is how it names an existing folder at times.
  ${If} $R1 == 80
    StrCpy $R1 183
  ${EndIf}
  System::Free $2
  System::Call 'kernel32::LocalFree(p r1)'
FunctionEnd

; Takes $INSTDIR for the programs right before the first file is written into it: setup waited
; for Zephlist to exit before (up to five seconds), time enough for someone else to make the
; folder or put something in it. A folder that was not there at the first check must be made
; by setup now; one that was there must pass CheckInstallFolder again, and once more after its
; access list is set (for what was put in before that). Ends setup otherwise.
Function TakeInstallFolder
  ${If} $FolderIsNew == 1
    Call MakeProtectedFolder
    ${If} $R1 == 183
      StrCpy $R9 "The folder $INSTDIR was made by someone else while setup was waiting for Zephlist to exit. Setup does not use it: remove it, or choose another folder, and run setup again."
      Call FailSetup
    ${ElseIf} $R1 != 0
      StrCpy $R9 "The folder $INSTDIR could not be made (error $R1)."
      Call FailSetup
    ${EndIf}
    Return
  ${EndIf}
  StrCpy $R0 $INSTDIR
  Call CheckInstallFolder
  ${If} $R1 == ""
    Call ProtectInstallFolder
    ${If} ${Errors}
      StrCpy $R9 "Only administrators may be allowed to change $INSTDIR, and its access list could not be set."
      Call FailSetup
    ${EndIf}
    StrCpy $R0 $INSTDIR
    Call CheckInstallFolder
  ${EndIf}
  ${If} $R1 != ""
    StrCpy $R9 $R1
    Call FailSetup
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
  WriteRegStr HKLM "${UNINSTALL_KEY}" "URLInfoAbout" "$BaseUrl"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "HelpLink" "$BaseUrlhelp/plugin.htm"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Zephlist.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
FunctionEnd

Section "Tavrello programs" SecPrograms
  SectionIn RO
  StrCpy $FolderIsNew 1
  ${If} ${FileExists} "$INSTDIR\*.*"
    StrCpy $FolderIsNew 0
  ${EndIf}
  StrCpy $R0 $INSTDIR
  Call CheckInstallFolder
  ${If} $R1 != ""
    StrCpy $R9 $R1
    Call FailSetup
  ${EndIf}
  ${If} $UrlProblem == ""
    Call StopZephlist
    ; Whatever it holds could not be replaced, and what was checked before may have changed.
    ${If} $R1 == 1
      StrCpy $R9 "Zephlist did not exit when asked to: close it and run setup again."
      Call FailSetup
    ${EndIf}
  ${EndIf}
  Call TakeInstallFolder
  SetOutPath "$INSTDIR"
  ${If} ${Silent}
    FileOpen $LogFile "$INSTDIR\Setup.log" w
  ${EndIf}
  ; A silent run says it here, where its log is.
  ${If} $UrlProblem != ""
    StrCpy $R9 $UrlProblem
    Call FailSetup
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
  Call IsUnencryptedUrl
  ${If} $R1 == 1
    ${Log} "Warning: the base URL $R0 is not https: the password crosses the network unencrypted with every request, for every user of this computer who keeps this default"
  ${EndIf}
  WriteRegStr HKCU "${SETTINGS_KEY}" "Tavrello" $R0
  WriteRegStr HKLM "${SETTINGS_KEY}" "Tavrello" $R0
  ${Log} "Base URL $R0 (for this user and as the machine's default)"
  StrCpy $R1 "$INSTDIR\Corvane.dll"
  Call WriteExtensionEntry
  ; In the registry view of the Zephlist.exe installed: the 32-bit one for the 32-bit setup.
  WriteRegDWORD HKLM "${EMULATION_KEY}" "Zephlist.exe" ${EMULATION_MODE}
  ; Every user's, but setup never starts Zephlist: it would run as administrator.
  SetShellVarContext all
  ClearErrors
  CreateShortcut "$SMPROGRAMS\Zephlist.lnk" "$INSTDIR\Zephlist.exe"
  ${If} ${Errors}
    ${Log} "Warning: the Start-menu shortcut $SMPROGRAMS\Zephlist.lnk could not be made"
  ${EndIf}
  SetShellVarContext current

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

; $R9: the command line's parameters. Returns in $R0 the value of "/URL=" and sets $R1 to 1 when
; the option is there (0 otherwise). Quotes are taken off the way they were put on:
; /URL="<address>" and "/URL=<address>" give the bare address, blanks inside the quotes
; included, so that the check of the address sees them; an unquoted value ends at the next
; blank. GetOptions of FileFunc.nsh cannot be used: it ends a value at the next "/", and every
; URL holds several.
Function UrlOption
  StrCpy $R0 ""
  StrCpy $R1 0
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
  StrCpy $R1 1
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
      ${Break}
    ${EndIf}
    ${If} $R5 == ""
    ${AndIf} $R4 == " "
      ${Break}
    ${EndIf}
    ${If} $R5 != ""
    ${AndIf} $R4 == $R5
      ; A closing quote ends the value only where the word ends; otherwise the quote is part
      ; of the value (and the check refuses it).
      IntOp $R6 $R3 + 1
      StrCpy $R6 $R9 1 $R6
      ${If} $R6 == ""
      ${OrIf} $R6 == " "
        ${Break}
      ${EndIf}
      StrCpy $R5 ""
    ${EndIf}
    StrCpy $R0 "$R0$R4"
    IntOp $R3 $R3 + 1
  ${Loop}
FunctionEnd

; $R4: one character. Sets $R6 to its code (UTF-16 unit).
Function CharacterCode
  System::Call '*(&w2 R4) p .r9'
  System::Call '*$9(&i2 .R6)'
  System::Free $9
FunctionEnd

; $R0: a base URL. Sets $R1 to "" when it is http:// or https://, a host (letters, digits, "."
; and "-"), an optional port and an optional path of printable ASCII without blank or quote;
; otherwise to the reason why not. The address reaches a browser's command line through the
; launcher, and every user of the machine gets it as the default.
Function CheckBaseUrl
  StrCpy $R1 ""
  StrCpy $R2 $R0 8
  StrCpy $R3 $R0 7
  ${If} $R2 == "https://"
    StrCpy $R3 8
  ${ElseIf} $R3 == "http://"
    StrCpy $R3 7
  ${Else}
    StrCpy $R1 "The base URL $\"$R0$\" does not begin with http:// or https://."
    Return
  ${EndIf}
  StrLen $R2 $R0
  ; The programs read at most 254 characters (the final "/" is there by now).
  ${If} $R2 > 254
    StrCpy $R1 "The base URL $\"$R0$\" is longer than 254 characters."
    Return
  ${EndIf}
  ; $R5: the part being read: host, port or path; $R7: characters read in it.
  StrCpy $R5 "host"
  StrCpy $R7 0
  ${DoWhile} $R3 < $R2
    StrCpy $R4 $R0 1 $R3
    Call CharacterCode
    ${If} $R6 == 47 ; "/"
    ${AndIf} $R5 != "path"
      ${If} $R7 == 0
        ${Break}
      ${EndIf}
      StrCpy $R5 "path"
    ${ElseIf} $R6 == 58 ; ":"
    ${AndIf} $R5 == "host"
      ${If} $R7 == 0
        ${Break}
      ${EndIf}
      StrCpy $R5 "port"
      StrCpy $R7 0
    ${ElseIf} $R5 == "host"
      ${If} $R6 < 48
      ${AndIf} $R6 != 45 ; "-"
      ${AndIf} $R6 != 46 ; "."
        ${Break}
      ${EndIf}
      ${If} $R6 > 57
      ${AndIf} $R6 < 65
        ${Break}
      ${EndIf}
      ${If} $R6 > 90
      ${AndIf} $R6 < 97
        ${Break}
      ${EndIf}
      ${If} $R6 > 122
        ${Break}
      ${EndIf}
      IntOp $R7 $R7 + 1
    ${ElseIf} $R5 == "port"
      ${If} $R6 < 48
      ${OrIf} $R6 > 57
      ${OrIf} $R7 >= 5
        ${Break}
      ${EndIf}
      IntOp $R7 $R7 + 1
    ${Else}
      ; The path: printable ASCII, no blank (32), no quote (34), nothing from 127 on.
      ${If} $R6 <= 32
      ${OrIf} $R6 == 34
      ${OrIf} $R6 >= 127
        ${Break}
      ${EndIf}
    ${EndIf}
    IntOp $R3 $R3 + 1
  ${Loop}
  ${If} $R3 < $R2
  ${OrIf} $R7 == 0
    StrCpy $R1 "The base URL $\"$R0$\" is not an http:// or https:// address of a host with an optional port and path, without blanks, quotes or control characters."
  ${EndIf}
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
  StrCpy $UrlProblem ""
  ${GetParameters} $R9
  Call UrlOption
  ${If} $R1 == 1
    Call EndWithSlash
    Call CheckBaseUrl
    StrCpy $UrlProblem $R1
    StrCpy $BaseUrl $R0
  ${EndIf}
  ${IfNot} ${Silent}
  ${AndIf} $UrlProblem != ""
    SetErrorLevel 2
    MessageBox MB_OK|MB_ICONSTOP "$UrlProblem"
    Quit
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
!ifdef TARGET_X64
  ; The type library's registration puts the interface's keys in the 32-bit view too, so that
  ; 32-bit clients can marshal it.
  SetRegView 32
  DeleteRegKey HKCR "Interface\${TAVRELLO_IE_IID}"
  SetRegView 64
!endif
FunctionEnd

; Sets $R1 to 1 when the folder and every program the uninstaller would run from it are owned
; by the administrators or SYSTEM, else 0: a program someone else put there, or replaced, under
; a folder that is still the administrators', must not run as administrator either.
Function un.ProgramsOwnedByAdministrators
  StrCpy $R1 1
  ${ForEach} $R8 0 3 + 1
    ${Select} $R8
    ${Case} 0
      StrCpy $R0 "$INSTDIR"
    ${Case} 1
      StrCpy $R0 "$INSTDIR\Corvane.dll"
    ${Case} 2
      StrCpy $R0 "$INSTDIR\Zephlist.exe"
    ${Case} 3
      ; Only where the 64-bit Corvane.dll is run (the 32-bit setup on 64-bit Windows).
      StrCpy $R0 ""
!ifndef TARGET_X64
      ${If} ${RunningX64}
      ${AndIf} ${FileExists} "$INSTDIR\x64\Corvane.dll"
        StrCpy $R0 "$INSTDIR\x64\Corvane.dll"
      ${EndIf}
!endif
    ${EndSelect}
    ${If} $R0 != ""
      Call un.OwnedByAdministrators
      ${If} $R1 != 1
        ${ExitFor}
      ${EndIf}
    ${EndIf}
  ${Next}
FunctionEnd

Section "Uninstall"
  Call un.StopZephlist
  ; Setup gave the folder to the administrators; if it has another owner now, its programs may
  ; not be the ones setup put there, and they must not run as administrator.
  Call un.ProgramsOwnedByAdministrators
  ${If} $R1 == 1
    ExecWait '"$SYSDIR\regsvr32.exe" /u /s "$INSTDIR\Corvane.dll"'
    ExecWait '"$INSTDIR\Zephlist.exe" /UnregServer'
  ${Else}
    MessageBox MB_OK|MB_ICONEXCLAMATION "$R0 is not owned by the administrators, so the programs in $INSTDIR may have been changed by someone else. They are not run: their registration is removed from the registry instead." /SD IDOK
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
  DeleteRegValue HKLM "${EMULATION_KEY}" "Zephlist.exe"
  DeleteRegKey /ifempty HKLM "${EMULATION_KEY}"
  SetShellVarContext all
  Delete "$SMPROGRAMS\Zephlist.lnk"
  SetShellVarContext current
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
