# What an installation holds (the program itself is installed by src/app) and the Debian
# package CPack makes of it: `cpack -G DEB` in a build configured with the /usr prefix.

# Desktop integration: the launcher entry, the MIME type of .anm files and the icons.
install(FILES resources/lumvane.desktop DESTINATION share/applications)
install(FILES resources/lumvane.xml DESTINATION share/mime/packages)
foreach(size 16 24 32 48 64 128 256)
  install(FILES resources/lumvane-${size}.png
    DESTINATION share/icons/hicolor/${size}x${size}/apps RENAME lumvane.png)
endforeach()

# Software centres read the metainfo; the manual page is installed compressed, as Debian's
# man expects.
configure_file(resources/io.github.lumvane.Lumvane.metainfo.xml.in
  ${PROJECT_BINARY_DIR}/io.github.lumvane.Lumvane.metainfo.xml @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/io.github.lumvane.Lumvane.metainfo.xml
  DESTINATION share/metainfo)
configure_file(resources/lumvane.1.in ${PROJECT_BINARY_DIR}/lumvane.1 @ONLY)
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/lumvane.1.gz
  COMMAND gzip -9 -n -c ${PROJECT_BINARY_DIR}/lumvane.1 > ${PROJECT_BINARY_DIR}/lumvane.1.gz
  DEPENDS ${PROJECT_BINARY_DIR}/lumvane.1
  COMMENT "Compressing the manual page")
add_custom_target(lumvane_manpage ALL DEPENDS ${PROJECT_BINARY_DIR}/lumvane.1.gz)
install(FILES ${PROJECT_BINARY_DIR}/lumvane.1.gz DESTINATION share/man/man1)

# Debian wants the licence beside every package, in its machine-readable copyright format.
install(FILES resources/copyright DESTINATION share/doc/lumvane)

set(LUMVANE_PACKAGE_MAINTAINER "The Lumvane developers <lumvane@users.noreply.github.com>"
  CACHE STRING "Maintainer field of the Debian package")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME lumvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "line tester for hand-drawn animation")
set(CPACK_PACKAGE_DESCRIPTION
  "Lumvane draws animation frame by frame with a soft round brush, with the mouse or a
pressure-sensitive pen, shows neighbouring frames as onion skin, plays the frames back at
any rate together with a WAV sound track, and exports them as numbered Targa or PNG images,
Tessel drawing files, MP4 or WebM movies with the sound track, or animated GIFs. Animations
are kept in .anm files.")
set(CPACK_PACKAGE_LICENSE ${LUMVANE_LICENSE})
set(CPACK_RPM_PACKAGE_LICENSE ${LUMVANE_LICENSE})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/COPYING)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${LUMVANE_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The dependencies are those of the libraries the program links, as dpkg-shlibdeps finds them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
include(CPack)
