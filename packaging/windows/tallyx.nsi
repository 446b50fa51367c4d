; The Windows installer of tallyx, one per architecture, made by scripts/package-windows.sh:
;   makensis -DVERSION=1.0.0.0 -DARCH=win64 -DSTAGE=<folder of the zip's files> -DOUTFILE=<setup.exe> tallyx.nsi
;
; Double-clicked, it installs for the user who runs it, without administrator rights, into
; %LOCALAPPDATA%\Programs\tallyx; run elevated ("Run as administrator"), for all users into
; Program Files. /CurrentUser installs for the user even when elevated, /S runs it without a
; window, /D=FOLDER (last on the line) chooses the folder. It adds the Start-menu entry "tallyx"
; (tallyx.exe ui) and an uninstaller that Apps & features lists. The uninstaller removes the files
; it installed and nothing else: the reader's data\ and log\ and the user's archive stay.

Unicode true
!if "${ARCH}" == "win64"
  Target amd64-unicode
  !define BITS "64-bit"
!else if "${ARCH}" == "win32"
  Target x86-unicode
  !define BITS "32-bit"
!else
  !error "ARCH must be win32 or win64"
!endif

!include LogicLib.nsh
!include FileFunc.nsh
!include MUI2.nsh

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\tallyx"

Name "tallyx ${VERSION} (${BITS})"
OutFile "${OUTFILE}"
; The user's own rights; elevation is the user's choice.
RequestExecutionLevel user
SetCompressor /SOLID lzma
; The files keep the times they were staged with, the same in every build of one commit.
SetDateSave on
ShowInstDetails show
ShowUninstDetails show
BrandingText "tallyx ${VERSION}"

VIProductVersion "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductName" "tallyx"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileDescription" "tallyx ${VERSION} (${BITS}) setup"
VIAddVersionKey /LANG=1033 "CompanyName" "the tallyx developers"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (C) 2026 the tallyx developers"

Var AllUsers

!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_NOAUTOCLOSE
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\README.txt"
!define MUI_FINISHPAGE_SHOWREADME_TEXT "Show README.txt"
!define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; Every file the installer puts into the program folder, in one list for installing and removing.
!macro TALLYX_FILES DO
  !insertmacro ${DO} "" "tallyx.exe"
  !insertmacro ${DO} "" "tallyread.exe"
  !insertmacro ${DO} "" "tallyx.dll"
  !insertmacro ${DO} "" "libtallyx.dll.a"
  !insertmacro ${DO} "" "tallyx.def"
  !insertmacro ${DO} "" "tallyx.txt"
  !insertmacro ${DO} "" "tallyread.txt"
  !insertmacro ${DO} "" "README.txt"
  !insertmacro ${DO} "include\tallyx" "tallyx.h"
!macroend
!macro INSTALL_FILE FOLDER NAME
  !if "${FOLDER}" == ""
    SetOutPath "$INSTDIR"
    File "${STAGE}/${NAME}"
  !else
    SetOutPath "$INSTDIR\${FOLDER}"
    File "${STAGE}/${FOLDER}/${NAME}"
  !endif
!macroend
!macro REMOVE_FILE FOLDER NAME
  !if "${FOLDER}" == ""
    Delete "$INSTDIR\${NAME}"
  !else
    Delete "$INSTDIR\${FOLDER}\${NAME}"
  !endif
!macroend

; All users when the installer runs elevated and /CurrentUser is not given; the user otherwise.
!macro CHOOSE_USERS UN
  Function ${UN}ChooseUsers
    ${GetParameters} $0
    ClearErrors
    ${GetOptions} $0 "/CurrentUser" $1
    ${If} ${Errors}
      UserInfo::GetAccountType
      Pop $1
    ${Else}
      StrCpy $1 "User"
    ${EndIf}
    ${If} $1 == "Admin"
      StrCpy $AllUsers 1
      SetShellVarContext all
    ${Else}
      StrCpy $AllUsers 0
      SetShellVarContext current
    ${EndIf}
  FunctionEnd
!macroend
!insertmacro CHOOSE_USERS ""
!insertmacro CHOOSE_USERS "un."

Function .onInit
  Call ChooseUsers
  ; /D= sets the folder before this runs; otherwise the place that fits whom it is for.
  ${If} $INSTDIR == ""
    ${If} $AllUsers == 1
      !if "${ARCH}" == "win64"
        StrCpy $INSTDIR "$PROGRAMFILES64\tallyx"
      !else
        StrCpy $INSTDIR "$PROGRAMFILES32\tallyx"
      !endif
    ${Else}
      StrCpy $INSTDIR "$LOCALAPPDATA\Programs\tallyx"
    ${EndIf}
  ${EndIf}
FunctionEnd

Section "tallyx" Main
  SectionIn RO
  !insertmacro TALLYX_FILES INSTALL_FILE

  ; The Start-menu entry starts the program's user interface from the program folder.
  SetOutPath "$INSTDIR"
  CreateShortCut "$SMPROGRAMS\tallyx.lnk" "$INSTDIR\tallyx.exe" "ui" "$INSTDIR\tallyx.exe" 0 SW_SHOWNORMAL "" \
    "Read and program roadside traffic counters"

  ; The uninstaller, and its entry in Apps & features (HKLM for all users, HKCU for one).
  WriteUninstaller "$INSTDIR\uninstall.exe"
  ${If} $AllUsers == 1
    StrCpy $0 "/AllUsers"
  ${Else}
    StrCpy $0 "/CurrentUser"
  ${EndIf}
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "tallyx ${VERSION} (${BITS})"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\tallyx.exe"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "the tallyx developers"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe" $0'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" $0 /S'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $1 $2 $3
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" $1
SectionEnd

Function un.onInit
  ; The uninstaller is told whom the installation was for (UninstallString); without that, it
  ; asks the system as the installer did.
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/AllUsers" $1
  ${IfNot} ${Errors}
    StrCpy $AllUsers 1
    SetShellVarContext all
  ${Else}
    Call un.ChooseUsers
  ${EndIf}
FunctionEnd

Section "Uninstall"
  ; Only what the installer put there: the reader's data\ and log\ folders and anything else the
  ; user keeps in the program folder stay, and with them the folder itself.
  !insertmacro TALLYX_FILES REMOVE_FILE
  RMDir "$INSTDIR\include\tallyx"
  RMDir "$INSTDIR\include"
  Delete "$SMPROGRAMS\tallyx.lnk"
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
SectionEnd
