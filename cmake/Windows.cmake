# The Windows build (cross-built by scripts/windows with
# cmake/mingw-w64-x86_64.cmake). The third-party libraries are static, so a
# program is one .exe; the MinGW runtime is the shared one, as the toolkit's
# DLLs use it (one C++ runtime per process), and its three DLLs lie beside the
# programs and the tests.
set(ORVENNA_MINGW_RUNTIME_DLLS "")
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                  OUTPUT_VARIABLE dll_path OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT IS_ABSOLUTE "${dll_path}" OR NOT EXISTS "${dll_path}")
    # winpthread lies in the MinGW system root's lib/, not the compiler's.
    find_file(dll_path_${dll} ${dll} PATHS /usr/x86_64-w64-mingw32/lib NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
    set(dll_path ${dll_path_${dll}})
  endif()
  if(NOT EXISTS "${dll_path}")
    message(FATAL_ERROR "The MinGW runtime's ${dll} was not found")
  endif()
  list(APPEND ORVENNA_MINGW_RUNTIME_DLLS ${dll_path})
  configure_file(${dll_path} ${CMAKE_BINARY_DIR}/${dll} COPYONLY)
  configure_file(${dll_path} ${CMAKE_BINARY_DIR}/tests/${dll} COPYONLY)
endforeach()

# Paths handed to programs under Wine: the build tree as Windows sees it
# (drive Z: is the Linux root).
function(orvenna_windows_path out path)
  string(REPLACE "/" "\\" windows_path "${path}")
  set(${out} "Z:${windows_path}" PARENT_SCOPE)
endfunction()

# The toolkit built by scripts/windows qt (ORVENNA_WIN_QT, its install
# folder): searched like the libraries; its generators (moc, uic, rcc) are the
# host's own.
if(NOT ORVENNA_WIN_QT AND DEFINED ENV{ORVENNA_WIN_QT})
  set(ORVENNA_WIN_QT $ENV{ORVENNA_WIN_QT})
endif()
if(ORVENNA_WIN_QT)
  list(APPEND CMAKE_FIND_ROOT_PATH ${ORVENNA_WIN_QT})
  set(QT_HOST_PATH /usr)
  set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake)
endif()

# The build folder is a program folder: the toolkit's DLLs and the plugins it
# loads (the Windows platform, its style, the image formats) beside the
# window programs. Called once Qt6 is found.
function(orvenna_windows_deploy_qt)
  get_filename_component(qt_root "${Qt6_DIR}/../../.." ABSOLUTE)
  set(ORVENNA_QT_DLLS "")
  foreach(module Core Gui Widgets)
    set(dll ${qt_root}/bin/Qt6${module}.dll)
    if(NOT EXISTS ${dll})
      message(FATAL_ERROR "The toolkit's Qt6${module}.dll is not in ${qt_root}/bin")
    endif()
    configure_file(${dll} ${CMAKE_BINARY_DIR}/Qt6${module}.dll COPYONLY)
    list(APPEND ORVENNA_QT_DLLS ${dll})
  endforeach()
  set(ORVENNA_QT_PLUGINS "")
  foreach(kind platforms styles imageformats)
    file(GLOB plugins ${qt_root}/plugins/${kind}/*.dll)
    if(kind STREQUAL "platforms")
      set(plugins ${qt_root}/plugins/platforms/qwindows.dll)
    endif()
    foreach(plugin IN LISTS plugins)
      if(NOT EXISTS ${plugin})
        message(FATAL_ERROR "The toolkit has no ${plugin}")
      endif()
      get_filename_component(name ${plugin} NAME)
      configure_file(${plugin} ${CMAKE_BINARY_DIR}/${kind}/${name} COPYONLY)
      list(APPEND ORVENNA_QT_PLUGINS ${kind}/${name})
    endforeach()
  endforeach()
  set(ORVENNA_QT_DLLS ${ORVENNA_QT_DLLS} PARENT_SCOPE)
  set(ORVENNA_QT_PLUGINS ${ORVENNA_QT_PLUGINS} PARENT_SCOPE)
  set(ORVENNA_QT_ROOT ${qt_root} PARENT_SCOPE)
endfunction()

# A program's icon and version as Windows shows them (Explorer, the taskbar,
# the file's properties): an .ico of the icon's drawn sizes (made with
# ImageMagick) and a resource script, compiled into the .exe. Its manifest
# says the program knows paths longer than MAX_PATH (Windows 10 honours it
# where long paths are enabled) and which Windows it was made for.
find_program(ORVENNA_IMAGEMAGICK NAMES convert REQUIRED)
function(orvenna_windows_resources target desktop_id description)
  set(pngs "")
  foreach(size 16 24 32 48 64 128 256)
    list(APPEND pngs ${PROJECT_SOURCE_DIR}/assets/icons/hicolor/${size}x${size}/apps/${desktop_id}.png)
  endforeach()
  set(ico ${CMAKE_CURRENT_BINARY_DIR}/${target}.ico)
  add_custom_command(OUTPUT ${ico} COMMAND ${ORVENNA_IMAGEMAGICK} ${pngs} ${ico} DEPENDS ${pngs} VERBATIM)
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
  set(version "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},0,0")
  set(manifest ${CMAKE_CURRENT_BINARY_DIR}/${target}.manifest)
  file(CONFIGURE OUTPUT ${manifest} CONTENT [[
<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0">
  <assemblyIdentity type="win32" name="Orvenna.@target@" version="@PROJECT_VERSION_MAJOR@.@PROJECT_VERSION_MINOR@.0.0"/>
  <compatibility xmlns="urn:schemas-microsoft-com:compatibility.v1">
    <application>
      <supportedOS Id="{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"/>
    </application>
  </compatibility>
  <application xmlns="urn:schemas-microsoft-com:asm.v3">
    <windowsSettings>
      <longPathAware xmlns="http://schemas.microsoft.com/SMI/2016/WindowsSettings">true</longPathAware>
    </windowsSettings>
  </application>
</assembly>
]] @ONLY)
  file(CONFIGURE OUTPUT ${rc} CONTENT [[
IDI_ICON1 ICON "@ico@"
1 24 "@manifest@"
1 VERSIONINFO
FILEVERSION @version@
PRODUCTVERSION @version@
BEGIN
  BLOCK "StringFileInfo"
  BEGIN
    BLOCK "040904B0"
    BEGIN
      VALUE "FileDescription", "@description@"
      VALUE "FileVersion", "@PROJECT_VERSION@"
      VALUE "InternalName", "@target@"
      VALUE "OriginalFilename", "@target@.exe"
      VALUE "ProductName", "Orvenna"
      VALUE "ProductVersion", "@PROJECT_VERSION@"
    END
  END
  BLOCK "VarFileInfo"
  BEGIN
    VALUE "Translation", 0x409, 1200
  END
END
]] @ONLY)
  target_sources(${target} PRIVATE ${rc})
  set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS "${ico};${manifest}")
endfunction()
