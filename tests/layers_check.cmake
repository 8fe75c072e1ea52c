# Checks the include graph of the source tree (cmake -DSOURCE_DIR=<root> -P).
#
# Layers, lowest first: the Qt-free core (core/<subsystem>/), what the window
# programs share over Qt (qtkit/), what the command-line programs share
# without it (consolekit/), the maps the window programs share (mapkit/, over
# qtkit), then one folder per program (gui/, cli/, viewer/, combiner/). A file
# includes only from its own folder or a lower layer: front-ends include the
# core and the kits, never each other; a kit includes only the core (consolekit
# never Qt), but mapkit also qtkit; the core never includes Qt, a kit or a
# front-end.
# Inside the core the subsystems are ranked too: platform < settings < task <
# download < ftl < run < area.
# What is particular to Windows (_WIN32, its headers) lives in core/platform
# and qtkit only.
cmake_minimum_required(VERSION 3.25)

set(core_ranks platform settings task download ftl run area)
set(front_ends gui cli viewer combiner)
set(violations "")

file(GLOB_RECURSE sources RELATIVE "${SOURCE_DIR}"
  "${SOURCE_DIR}/core/*.h" "${SOURCE_DIR}/core/*.cpp"
  "${SOURCE_DIR}/qtkit/*.h" "${SOURCE_DIR}/qtkit/*.cpp"
  "${SOURCE_DIR}/consolekit/*.h" "${SOURCE_DIR}/consolekit/*.cpp"
  "${SOURCE_DIR}/mapkit/*.h" "${SOURCE_DIR}/mapkit/*.cpp"
  "${SOURCE_DIR}/gui/*.h" "${SOURCE_DIR}/gui/*.cpp"
  "${SOURCE_DIR}/cli/*.h" "${SOURCE_DIR}/cli/*.cpp"
  "${SOURCE_DIR}/viewer/*.h" "${SOURCE_DIR}/viewer/*.cpp"
  "${SOURCE_DIR}/combiner/*.h" "${SOURCE_DIR}/combiner/*.cpp")

foreach(source IN LISTS sources)
  string(REGEX MATCH "^[^/]+" layer "${source}")
  if(layer STREQUAL "core")
    string(REGEX REPLACE "^core/([^/]+)/.*" "\\1" subsystem "${source}")
    list(FIND core_ranks "${subsystem}" rank)
  endif()
  if(NOT source MATCHES "^(core/platform|qtkit)/")
    file(STRINGS "${SOURCE_DIR}/${source}" windows_lines REGEX "_WIN32|<(windows|winsock2|shlobj|shellapi)\\.h>")
    foreach(line IN LISTS windows_lines)
      list(APPEND violations "${source}: Windows-specific outside core/platform and qtkit: ${line}")
    endforeach()
  endif()
  file(STRINGS "${SOURCE_DIR}/${source}" lines REGEX "^[ \t]*#[ \t]*include")
  foreach(line IN LISTS lines)
    if(line MATCHES "<(Q[A-Za-z]+|Qt[A-Za-z]*/[^>]*)>")
      if(layer STREQUAL "core" OR layer STREQUAL "consolekit")
        list(APPEND violations "${source}: ${layer} includes Qt: ${line}")
      endif()
      continue()
    endif()
    if(NOT line MATCHES "\"([^\"]+)\"")
      continue()
    endif()
    set(target "${CMAKE_MATCH_1}")
    string(REGEX MATCH "^[^/]+" target_layer "${target}")
    if(target_layer STREQUAL "core")
      if(layer STREQUAL "core")
        string(REGEX REPLACE "^core/([^/]+)/.*" "\\1" target_subsystem "${target}")
        list(FIND core_ranks "${target_subsystem}" target_rank)
        if(target_rank GREATER rank)
          list(APPEND violations "${source}: core/${subsystem} includes the higher core/${target_subsystem}: ${line}")
        endif()
      endif()
    elseif(target_layer STREQUAL "qtkit" OR target_layer STREQUAL "consolekit")
      if(layer STREQUAL "core" OR (layer MATCHES "kit$" AND NOT target_layer STREQUAL layer
                                   AND NOT (layer STREQUAL "mapkit" AND target_layer STREQUAL "qtkit")))
        list(APPEND violations "${source}: ${layer} includes ${target_layer}: ${line}")
      endif()
    elseif(target_layer STREQUAL "mapkit")
      if(layer STREQUAL "core" OR layer STREQUAL "qtkit" OR layer STREQUAL "consolekit" OR layer STREQUAL "cli")
        list(APPEND violations "${source}: ${layer} includes mapkit: ${line}")
      endif()
    elseif(target_layer IN_LIST front_ends)
      if(NOT target_layer STREQUAL layer)
        list(APPEND violations "${source}: ${layer} includes ${target_layer}: ${line}")
      endif()
    elseif(NOT target MATCHES "^moc_|/moc_")
      list(APPEND violations "${source}: include outside the layers: ${line}")
    endif()
  endforeach()
endforeach()

list(LENGTH sources checked)
if(violations)
  list(JOIN violations "\n" report)
  message(FATAL_ERROR "Layer violations:\n${report}")
endif()
message(STATUS "layers: ${checked} files, no violation")
