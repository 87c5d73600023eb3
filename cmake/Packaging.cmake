# Installation in the standard locations (the same for `make install` and the Debian
# package) and the package itself, built by CPack.
#
#   bin/kestal, bin/kestal-export
#   lib/kestal/modules/kestal-encoders.so (the clip encoders' module, which the
#     programs load from ../lib/kestal/modules beside their folder when they export
#     MP4, WebM, WebP, APNG or AVIF; lib is CMAKE_INSTALL_LIBDIR, lib/<multiarch>
#     under a /usr prefix)
#   share/applications/kestal.desktop
#   share/icons/hicolor/{16,24,32,48,64,128,256}x.../apps/kestal.png, scalable/apps/kestal.svg
#   share/metainfo/org.kestal.Kestal.metainfo.xml
#   share/man/man1/kestal.1.gz, kestal-export.1.gz
#   share/kestal/kestal.htm, kestal.ru.htm, kestal.css (the help pages in English and
#     Russian, and their style)
#   share/doc/kestal/copyright, changelog.gz
#
# The version appears once, in project(); the manual pages, the AppStream release, the
# Debian changelog and the package take it from there.
include(GNUInstallDirs)

set(KESTAL_DATA ${PROJECT_SOURCE_DIR}/data)
set(KESTAL_GENERATED ${PROJECT_BINARY_DIR}/generated)

# Text files that carry the version, gzipped as Debian wants manual pages and
# changelogs (-n: no name or time stamp, so the bytes depend on the text only).
find_program(GZIP_PROGRAM gzip REQUIRED)
set(kestal_gzipped)
function(kestal_configure_gz source name)
  configure_file(${source} ${KESTAL_GENERATED}/${name} @ONLY)
  add_custom_command(OUTPUT ${KESTAL_GENERATED}/${name}.gz
    COMMAND ${GZIP_PROGRAM} -9nf -k ${KESTAL_GENERATED}/${name}
    DEPENDS ${KESTAL_GENERATED}/${name} VERBATIM)
  set(kestal_gzipped ${kestal_gzipped} ${KESTAL_GENERATED}/${name}.gz PARENT_SCOPE)
endfunction()
kestal_configure_gz(${KESTAL_DATA}/man/kestal-export.1 kestal-export.1)
kestal_configure_gz(${PROJECT_SOURCE_DIR}/cmake/debian/changelog.in changelog)
if(KESTAL_GUI)
  kestal_configure_gz(${KESTAL_DATA}/man/kestal.1 kestal.1)
  configure_file(${KESTAL_DATA}/org.kestal.Kestal.metainfo.xml
                 ${KESTAL_GENERATED}/org.kestal.Kestal.metainfo.xml @ONLY)
endif()
add_custom_target(kestal_docs ALL DEPENDS ${kestal_gzipped})

set(man1 ${CMAKE_INSTALL_MANDIR}/man1)
install(TARGETS kestal-export RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS kestal_encoders LIBRARY DESTINATION ${KESTAL_ENCODERS_DIR})
install(FILES ${KESTAL_GENERATED}/kestal-export.1.gz DESTINATION ${man1})
install(FILES ${PROJECT_SOURCE_DIR}/cmake/debian/copyright ${KESTAL_GENERATED}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/kestal)
if(KESTAL_GUI)
  install(TARGETS kestal RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${KESTAL_GENERATED}/kestal.1.gz DESTINATION ${man1})
  install(FILES ${KESTAL_DATA}/kestal.htm ${KESTAL_DATA}/kestal.ru.htm ${KESTAL_DATA}/kestal.css
          DESTINATION ${CMAKE_INSTALL_DATADIR}/kestal)
  install(FILES ${KESTAL_DATA}/kestal.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${KESTAL_GENERATED}/org.kestal.Kestal.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  set(hicolor ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
  foreach(size 16 24 32 48 64 256)
    install(FILES ${KESTAL_DATA}/icons/kestal_${size}.png
            DESTINATION ${hicolor}/${size}x${size}/apps RENAME kestal.png)
  endforeach()
  install(FILES ${KESTAL_DATA}/kestal.png DESTINATION ${hicolor}/128x128/apps)
  install(FILES ${KESTAL_DATA}/icons/kestal.svg DESTINATION ${hicolor}/scalable/apps)
endif()

# Everything the install step takes, so that `make install` and `make package` build
# no tests or benchmarks.
add_custom_target(kestal_installed)
add_dependencies(kestal_installed kestal-export kestal_encoders kestal_docs)
if(KESTAL_GUI)
  add_dependencies(kestal_installed kestal)
endif()

# `make uninstall` removes what the install manifest lists.
add_custom_target(uninstall
  COMMAND ${CMAKE_COMMAND} -DMANIFEST=${PROJECT_BINARY_DIR}/install_manifest.txt
          -P ${PROJECT_SOURCE_DIR}/cmake/uninstall.cmake
  VERBATIM)

# The Debian package: `cpack` in a build folder writes kestal_<version>_amd64.deb.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kestal)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Kestal developers")
set(CPACK_PACKAGE_CONTACT "The Kestal developers <dev@kestal.org>")
# GPL-3.0-or-later: the full text for CPack, the DEP-5 file cmake/debian/copyright
# installed above for Debian, and the licence field of an RPM built from this
# configuration (cpack -G RPM).
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_RPM_PACKAGE_LICENSE GPL-3.0-or-later)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://kestal.org/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# EPS files without a preview are rendered by Ghostscript.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS ghostscript)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
"turn a photo into an animated water reflection
Kestal puts a vertically mirrored copy beneath a photo and lets its rows
ripple, as if the scene stood at the edge of a lake. Frames per wave cycle,
reflection height, wave mode, length and speed are set in the window; a
natural water mode breaks the reflection into streaks as on a lake, with
wind, direction, rain and glints; a water panel adds a water line, a tint,
a fade with depth, a blur and the waves' strength, shown while the
animation plays. The view zooms; settings and recent photos are kept.
.
The animation is exported as numbered BMP or JPG frames, a looping animated
GIF of 16 to 256 colours with an HTML page that shows it, an uncompressed
AVI clip, an MP4 (H.264) or WebM (VP9) video, an animated WebP, an animated
PNG or an animated AVIF; a long export can be cancelled. The window and its
help pages are in English and Russian. The command-line exporter
kestal-export writes the same files without a window, for scripts and batch
work.")
include(CPack)
