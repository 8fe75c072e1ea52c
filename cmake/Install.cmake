# The installed tree and the Debian package. The programs find their data at
# ../share/orvenna from bin/ (core/platform/Locations), so the two folders are
# fixed here rather than taken from GNUInstallDirs.
# The release's facts come from the top-level CMakeLists.txt.
set(ORVENNA_MAINTAINER "The Orvenna team <${ORVENNA_CONTACT}>")
set(ORVENNA_HOMEPAGE ${PROJECT_HOMEPAGE_URL})

set(desktop_ids example.orvenna.Orvenna example.orvenna.TileView example.orvenna.TileJoin)
set(share_dir ${CMAKE_BINARY_DIR}/share)

# The release date in the forms the Debian changelog and the man pages take.
execute_process(COMMAND date -u -R -d ${ORVENNA_RELEASE_DATE} OUTPUT_VARIABLE ORVENNA_RELEASE_DATE_RFC2822
                OUTPUT_STRIP_TRAILING_WHITESPACE)
execute_process(COMMAND date -u +%s -d ${ORVENNA_RELEASE_DATE} OUTPUT_VARIABLE release_epoch
                OUTPUT_STRIP_TRAILING_WHITESPACE)
string(SUBSTRING ${ORVENNA_RELEASE_DATE} 0 4 ORVENNA_RELEASE_YEAR)

# Man pages from the programs' own --help, so they never drift from it.
find_program(HELP2MAN help2man)
find_program(GZIP gzip REQUIRED)
set(man_pages)
if(HELP2MAN)
  set(man_orvenna "download the map tiles of a rectangle, in a window")
  set(man_orvenna-cli "download the map tiles of a task without a window")
  set(man_tileview "show the tiles of a download task as one map")
  set(man_tilejoin "combine the tiles of a download task into one georeferenced image")
  foreach(program orvenna orvenna-cli tileview tilejoin)
    set(includes --include=${PROJECT_SOURCE_DIR}/assets/man/see-also.h2m)
    if(NOT program STREQUAL "tilejoin")
      list(APPEND includes --include=${PROJECT_SOURCE_DIR}/assets/man/settings.h2m)
    endif()
    set(page ${share_dir}/man/man1/${program}.1.gz)
    add_custom_command(OUTPUT ${page}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${share_dir}/man/man1
      COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen SOURCE_DATE_EPOCH=${release_epoch}
              ${HELP2MAN} --no-info --no-discard-stderr --section=1 --version-string=${PROJECT_VERSION}
              "--name=${man_${program}}" ${includes} --output=${share_dir}/man/man1/${program}.1 $<TARGET_FILE:${program}>
      COMMAND ${GZIP} -9nf ${share_dir}/man/man1/${program}.1
      DEPENDS ${program} ${PROJECT_SOURCE_DIR}/assets/man/see-also.h2m ${PROJECT_SOURCE_DIR}/assets/man/settings.h2m
      VERBATIM)
    list(APPEND man_pages ${page})
  endforeach()
else()
  message(WARNING "help2man not found: the installed tree gets no man pages (scripts/install-deps package)")
endif()

configure_file(assets/desktop/example.orvenna.Orvenna.metainfo.xml.in
               ${share_dir}/metainfo/example.orvenna.Orvenna.metainfo.xml @ONLY)
configure_file(assets/debian/copyright.in ${share_dir}/doc/orvenna/copyright @ONLY)
configure_file(assets/debian/changelog.in ${share_dir}/doc/orvenna/changelog @ONLY)
set(changelog ${share_dir}/doc/orvenna/changelog.gz)
add_custom_command(OUTPUT ${changelog}
  COMMAND ${GZIP} -9nc ${share_dir}/doc/orvenna/changelog > ${changelog}
  DEPENDS ${share_dir}/doc/orvenna/changelog
  VERBATIM)
add_custom_target(orvenna_share ALL DEPENDS ${man_pages} ${changelog})

install(TARGETS orvenna orvenna-cli tileview tilejoin RUNTIME DESTINATION bin)
install(DIRECTORY assets/blankimg assets/help DESTINATION share/orvenna)
foreach(id IN LISTS desktop_ids)
  install(FILES assets/desktop/${id}.desktop DESTINATION share/applications)
endforeach()
install(DIRECTORY assets/icons/hicolor DESTINATION share/icons)
install(FILES assets/desktop/orvenna.xml DESTINATION share/mime/packages)
install(FILES ${share_dir}/metainfo/example.orvenna.Orvenna.metainfo.xml DESTINATION share/metainfo)
install(FILES ${man_pages} DESTINATION share/man/man1)
install(FILES assets/completion/orvenna-cli assets/completion/tilejoin DESTINATION share/bash-completion/completions)
install(FILES ${share_dir}/doc/orvenna/copyright ${changelog} DESTINATION share/doc/orvenna)

# The Debian package: build/orvenna_<version>_amd64.deb (scripts/package).
# Its dependencies come from the libraries the programs link (shlibdeps); the
# desktop, icon, MIME and man caches are refreshed by the file triggers that
# their tools declare on the folders these files go to, so the package needs
# no maintainer scripts of its own.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvenna)
set(CPACK_PACKAGE_VENDOR "The Orvenna team")
set(CPACK_PACKAGE_CONTACT ${ORVENNA_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "map tile downloader with viewer and combiner")
set(CPACK_PACKAGE_DESCRIPTION [[
Orvenna downloads the map tiles of a longitude/latitude rectangle from a
web tile service into image files, with task files that can be continued,
logs, an extent list, a failed-tile list and a re-download window.

It comes with orvenna-cli (the same tasks without a window), tileview (a
map viewer that finds a task's holes) and tilejoin (a map combiner that
makes one georeferenced image of a task's tiles with GDAL).]])
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${ORVENNA_HOMEPAGE})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# xdg-open hands the log, the manual and the homepage to the desktop; the
# Nearmap API answers over HTTPS, whose certificates libcurl checks.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils, ca-certificates")
include(CPack)
