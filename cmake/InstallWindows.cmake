# The Windows installer and the portable zip's tree (scripts/windows package):
# one flat program folder, as the build folder is: the four programs, the
# toolkit's and the MinGW runtime's DLLs, the toolkit's plugins, the blank
# tiles and the manual. The installer (CPack's NSIS generator) adds Start-menu
# entries for the three window programs and opens .otsk and .ftl files in
# orvenna.exe, as the Debian package's desktop files do ("orvenna %f"; a
# task also opens in the viewer from its context menu). It makes no ini\
# folder, so the settings go to %APPDATA%\Orvenna\ (a program folder under
# Program Files is not the user's to write); its uninstaller removes what it
# installed and nothing else: the settings, the map cache and the downloads
# stay. The portable zip has ini\ beside the programs, so its settings stay
# in it.
install(TARGETS orvenna orvenna-cli tileview tilejoin RUNTIME DESTINATION . COMPONENT programs)
install(FILES ${ORVENNA_MINGW_RUNTIME_DLLS} ${ORVENNA_QT_DLLS} DESTINATION . COMPONENT programs)
foreach(plugin IN LISTS ORVENNA_QT_PLUGINS)
  get_filename_component(kind ${plugin} DIRECTORY)
  install(FILES ${ORVENNA_QT_ROOT}/plugins/${plugin} DESTINATION ${kind} COMPONENT programs)
endforeach()
install(DIRECTORY assets/blankimg assets/help DESTINATION . COMPONENT programs)
install(FILES LICENSE DESTINATION . RENAME LICENSE.txt COMPONENT programs)

set(CPACK_GENERATOR NSIS)
set(CPACK_PACKAGE_NAME Orvenna)
set(CPACK_PACKAGE_VENDOR "The Orvenna team")
set(CPACK_PACKAGE_CONTACT "The Orvenna team <${ORVENNA_CONTACT}>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "map tile downloader with viewer and combiner")
set(CPACK_PACKAGE_FILE_NAME Orvenna-${PROJECT_VERSION}-win64)
set(CPACK_PACKAGE_INSTALL_DIRECTORY Orvenna)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY Orvenna)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_EXECUTABLES orvenna "Orvenna" tileview "Orvenna Map Viewer" tilejoin "Orvenna Map Combiner")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_DISPLAY_NAME "Orvenna ${PROJECT_VERSION}")
set(CPACK_NSIS_PACKAGE_NAME "Orvenna ${PROJECT_VERSION}")
set(CPACK_NSIS_URL_INFO_ABOUT ${PROJECT_HOMEPAGE_URL})
set(CPACK_NSIS_CONTACT ${ORVENNA_CONTACT})
set(CPACK_NSIS_INSTALLED_ICON_NAME orvenna.exe)
set(CPACK_NSIS_MANIFEST_DPI_AWARE ON)
set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)
set(CPACK_NSIS_MENU_LINKS "help\\help.html" "Orvenna Manual")
# The file types, for every user as the installation is: a task opens in the
# main window (and in the viewer from the context menu), a failed-tile list
# in the re-download window.
file(WRITE ${CMAKE_BINARY_DIR}/nsis-file-types-install.nsh [=[
  WriteRegStr HKLM "Software\Classes\.otsk" "" "Orvenna.Task"
  WriteRegStr HKLM "Software\Classes\Orvenna.Task" "" "Orvenna download task"
  WriteRegStr HKLM "Software\Classes\Orvenna.Task\DefaultIcon" "" "$INSTDIR\orvenna.exe,0"
  WriteRegStr HKLM "Software\Classes\Orvenna.Task\shell\open\command" "" '"$INSTDIR\orvenna.exe" "%1"'
  WriteRegStr HKLM "Software\Classes\Orvenna.Task\shell\view" "" "View the tiles"
  WriteRegStr HKLM "Software\Classes\Orvenna.Task\shell\view\command" "" '"$INSTDIR\tileview.exe" "%1"'
  WriteRegStr HKLM "Software\Classes\.ftl" "" "Orvenna.FailedList"
  WriteRegStr HKLM "Software\Classes\Orvenna.FailedList" "" "Orvenna failed-tile list"
  WriteRegStr HKLM "Software\Classes\Orvenna.FailedList\DefaultIcon" "" "$INSTDIR\orvenna.exe,0"
  WriteRegStr HKLM "Software\Classes\Orvenna.FailedList\shell\open\command" "" '"$INSTDIR\orvenna.exe" "%1"'
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
]=])
# An extension is given back only while it still names this program's type.
file(WRITE ${CMAKE_BINARY_DIR}/nsis-file-types-uninstall.nsh [=[
  ReadRegStr $0 HKLM "Software\Classes\.otsk" ""
  StrCmp $0 "Orvenna.Task" 0 +2
    DeleteRegKey HKLM "Software\Classes\.otsk"
  ReadRegStr $0 HKLM "Software\Classes\.ftl" ""
  StrCmp $0 "Orvenna.FailedList" 0 +2
    DeleteRegKey HKLM "Software\Classes\.ftl"
  DeleteRegKey HKLM "Software\Classes\Orvenna.Task"
  DeleteRegKey HKLM "Software\Classes\Orvenna.FailedList"
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
]=])
# CPack passes these through CMake's list syntax, which would break the
# quotes: the commands are included from the files above.
set(CPACK_NSIS_EXTRA_INSTALL_COMMANDS "!include ${CMAKE_BINARY_DIR}/nsis-file-types-install.nsh")
set(CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS "!include ${CMAKE_BINARY_DIR}/nsis-file-types-uninstall.nsh")
include(CPack)
