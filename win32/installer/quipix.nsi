; QuipixSetup.exe: installs Quipix.scr for every user of the machine.
;
; The Screen Saver Settings of Windows list only the savers in the system folder, so
; Quipix.scr goes to System32 and the installer needs an administrator. Its help topics
; and a copy of the bundled jokes go to Program Files\Quipix; the saver finds that folder
; through the InstallLocation of its uninstall entry. The installer holds both builds of
; the saver and installs the one that matches the system. It is a 32-bit program, so
; that it runs on 32-bit Windows too; on 64-bit Windows it turns off WOW64's file
; redirection for the system folder (else the 64-bit saver would land in SysWOW64,
; where 64-bit Windows does not look) and uses the 64-bit registry.
;
; Built by scripts/build-windows.sh:
;   makensis -DQUIPIX_SCR64=<64-bit Quipix.scr> -DQUIPIX_SCR32=<32-bit Quipix.scr>
;            -DQUIPIX_ROOT=<source tree> -DQUIPIX_FILES=<list of data files>
;            -DOUTFILE=<QuipixSetup.exe> -DQUIPIX_VERSION=<2.1> -DQUIPIX_VERSION_QUAD=<2.1.0.0> quipix.nsi
; QUIPIX_FILES defines the macro QuipixDataFiles ACTION, which inserts
; ACTION "folder" "file name" once per help topic and joke file; the uninstaller removes
; exactly those files, so anything a user added to the folders stays.
;
; Command line: /S silent (Quipix becomes the screen saver unless /NOSAVER is given too),
; /D=<folder> the data folder.

Unicode true
Target x86-unicode
RequestExecutionLevel admin
SetCompressor /SOLID lzma

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include nsDialogs.nsh
!include Sections.nsh
!include x64.nsh
!include "${QUIPIX_FILES}"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quipix"
!define DESKTOP_KEY "Control Panel\Desktop"
!define SPI_SETSCREENSAVEACTIVE 17
!define SPIF_UPDATEINIFILE_SENDCHANGE 3

Name "Quipix"
Caption "$(QuipixCaption)"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Quipix"
BrandingText "Kelvara"

VIProductVersion "${QUIPIX_VERSION_QUAD}"
VIAddVersionKey "ProductName" "Quipix"
VIAddVersionKey "CompanyName" "Kelvara"
VIAddVersionKey "FileDescription" "Quipix Setup"
VIAddVersionKey "FileVersion" "${QUIPIX_VERSION}"
VIAddVersionKey "ProductVersion" "${QUIPIX_VERSION}"
VIAddVersionKey "LegalCopyright" "Kelvara"

!define MUI_ICON "${QUIPIX_ROOT}/win32/quipix.ico"
!define MUI_UNICON "${QUIPIX_ROOT}/win32/quipix.ico"
!define MUI_ABORTWARNING
!define MUI_DIRECTORYPAGE_TEXT_TOP "$(QuipixFolderText)"

Var UseSaver      ; BST_CHECKED: Quipix becomes the user's screen saver
Var UseSaverBox

!insertmacro MUI_PAGE_DIRECTORY
Page custom SaverPage SaverPageLeave
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!include "${QUIPIX_ROOT}/win32/installer/languages.nsh"

!macro InstallDataFile FOLDER NAME
  SetOutPath "$INSTDIR\${FOLDER}"
  File "${QUIPIX_ROOT}/${FOLDER}/${NAME}"
!macroend

!macro RemoveDataFile FOLDER NAME
  Delete "$INSTDIR\${FOLDER}\${NAME}"
!macroend

; The system folder as 64-bit Windows sees it, around what touches Quipix.scr there.
!macro NativeSystemFolder
  ${If} ${RunningX64}
    ${DisableX64FSRedirection}
  ${EndIf}
!macroend
!macro RedirectedSystemFolder
  ${If} ${RunningX64}
    ${EnableX64FSRedirection}
  ${EndIf}
!macroend

Function SaverPage
  !insertmacro MUI_HEADER_TEXT "$(QuipixSaverTitle)" "$(QuipixSaverSubtitle)"
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateCheckbox} 0 0 100% 12u "$(QuipixUseSaver)"
  Pop $UseSaverBox
  ${If} $UseSaver == ${BST_CHECKED}
    ${NSD_Check} $UseSaverBox
  ${EndIf}
  nsDialogs::Show
FunctionEnd

Function SaverPageLeave
  ${NSD_GetState} $UseSaverBox $UseSaver
FunctionEnd

; One of the two saver sections runs (.onInit chooses), into the native system folder.
Section "-64-bit saver" SecSaver64
  !insertmacro NativeSystemFolder
  SetOutPath $SYSDIR
  File "/oname=Quipix.scr" "${QUIPIX_SCR64}"
  !insertmacro RedirectedSystemFolder
SectionEnd

Section "-32-bit saver" SecSaver32
  SetOutPath $SYSDIR
  File "/oname=Quipix.scr" "${QUIPIX_SCR32}"
SectionEnd

Section "Quipix" SecQuipix
  !insertmacro QuipixDataFiles InstallDataFile
  SetOutPath $INSTDIR
  WriteUninstaller "$INSTDIR\Uninstall.exe"
  !insertmacro NativeSystemFolder
  CreateShortcut "$SMPROGRAMS\Quipix Settings.lnk" "$SYSDIR\Quipix.scr" "/c" "$SYSDIR\Quipix.scr" 0
  ; The Screen Saver Settings store the saver's short path; this form is what the
  ; uninstaller recognises as ours.
  GetFullPathName /SHORT $2 "$SYSDIR\Quipix.scr"
  !insertmacro RedirectedSystemFolder

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Quipix"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${QUIPIX_VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Kelvara"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$SYSDIR\Quipix.scr,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  SectionGetSize ${SecQuipix} $0
  ${If} ${SectionIsSelected} ${SecSaver64}
    SectionGetSize ${SecSaver64} $1
  ${Else}
    SectionGetSize ${SecSaver32} $1
  ${EndIf}
  IntOp $0 $0 + $1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0

  ; The elevated installer's HKCU is the hive of the user who ran it.
  ${If} $UseSaver == ${BST_CHECKED}
    WriteRegStr HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE" $2
    WriteRegStr HKCU "${DESKTOP_KEY}" "ScreenSaveActive" "1"
    ; Tells the running session, which otherwise reads the change at the next sign-in.
    System::Call "user32::SystemParametersInfoW(i ${SPI_SETSCREENSAVEACTIVE}, i 1, p 0, i ${SPIF_UPDATEINIFILE_SENDCHANGE})"
  ${EndIf}
SectionEnd

; After the sections, whose numbers it needs.
Function .onInit
  SetShellVarContext all
  ${If} ${RunningX64}
    SetRegView 64
    !insertmacro UnselectSection ${SecSaver32}
  ${Else}
    !insertmacro UnselectSection ${SecSaver64}
  ${EndIf}
  StrCpy $UseSaver ${BST_CHECKED}
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/NOSAVER" $1
  ${IfNot} ${Errors}
    StrCpy $UseSaver ${BST_UNCHECKED}
  ${EndIf}
FunctionEnd

Function un.onInit
  SetShellVarContext all
  ${If} ${RunningX64}
    SetRegView 64
  ${EndIf}
FunctionEnd

Section "Uninstall"
  ; Another saver the user chose since, or none, stays as it is; ScreenSaveActive is
  ; the user's own switch and stays too.
  !insertmacro NativeSystemFolder
  GetFullPathName /SHORT $1 "$SYSDIR\Quipix.scr"
  ReadRegStr $0 HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE"
  ${If} $0 != ""
    ${If} $0 == $1
    ${OrIf} $0 == "$SYSDIR\Quipix.scr"
      DeleteRegValue HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE"
    ${EndIf}
  ${EndIf}

  Delete /REBOOTOK "$SYSDIR\Quipix.scr"
  !insertmacro RedirectedSystemFolder
  Delete "$SMPROGRAMS\Quipix Settings.lnk"
  !insertmacro QuipixDataFiles RemoveDataFile
  RMDir "$INSTDIR\help"
  RMDir "$INSTDIR\jokes"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  ; The uninstaller runs from a copy of itself in the temporary folder (~nsuN.tmp\Au_.exe),
  ; which cannot go while it runs: the copy and its folder go at the next start of
  ; Windows.
  ${If} $EXEDIR != $INSTDIR
    Delete /REBOOTOK "$EXEDIR\Au_.exe"
    RMDir /REBOOTOK "$EXEDIR"
  ${EndIf}
SectionEnd
