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
