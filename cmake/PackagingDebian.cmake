# The Debian package: velda-installer, velda-sim, uxs and their man pages, the desktop entry, the
# package type and its icon, the AppStream metainfo, the copyright and the changelog. The desktop
# and MIME databases are updated by the triggers of desktop-file-utils and shared-mime-info,
# which watch the folders these files go into.
set(VELDA_METAINFO_ID org.velda_installer.VeldaInstaller)
configure_file(${PROJECT_SOURCE_DIR}/resources/${VELDA_METAINFO_ID}.metainfo.xml.in
               ${CMAKE_BINARY_DIR}/package/${VELDA_METAINFO_ID}.metainfo.xml @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/package/${VELDA_METAINFO_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/velda-installer.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/256x256/mimetypes
        RENAME application-x-velda-uxs.png)

# /usr/share/doc/velda-installer: the licence in Debian's machine-readable form, and the
# changelog (Debian's format, made from CHANGELOG.md, compressed as Debian wants it).
set(VELDA_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/velda-installer)
file(READ ${PROJECT_SOURCE_DIR}/LICENSE VELDA_LICENSE_TEXT)
string(REGEX REPLACE "^MIT License\n\nCopyright \\(c\\) [^\n]*\n\n" "" VELDA_LICENSE_BODY "${VELDA_LICENSE_TEXT}")
string(REGEX REPLACE "\n$" "" VELDA_LICENSE_BODY "${VELDA_LICENSE_BODY}")
string(REGEX REPLACE "\n\n" "\n.\n" VELDA_LICENSE_BODY "${VELDA_LICENSE_BODY}")
string(REGEX REPLACE "\n" "\n " VELDA_LICENSE_BODY "${VELDA_LICENSE_BODY}")
string(SUBSTRING ${VELDA_RELEASE_DATE} 0 4 VELDA_RELEASE_YEAR)
file(WRITE ${CMAKE_BINARY_DIR}/package/copyright
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: VELDA Installer
Upstream-Contact: ${VELDA_MAINTAINER}
Source: ${PROJECT_HOMEPAGE_URL}

Files: *
Copyright: ${VELDA_RELEASE_YEAR} The VELDA Installer developers
License: Expat
 ${VELDA_LICENSE_BODY}
")
install(FILES ${CMAKE_BINARY_DIR}/package/copyright DESTINATION ${VELDA_DOC_DIR})
set(VELDA_DEBIAN_CHANGELOG ${CMAKE_BINARY_DIR}/package/changelog.gz)
add_custom_command(OUTPUT ${VELDA_DEBIAN_CHANGELOG}
  COMMAND ${PROJECT_SOURCE_DIR}/cmake/debian-changelog ${PROJECT_SOURCE_DIR}/CHANGELOG.md
          "${VELDA_MAINTAINER}" ${VELDA_DEBIAN_CHANGELOG}
  DEPENDS ${PROJECT_SOURCE_DIR}/CHANGELOG.md ${PROJECT_SOURCE_DIR}/cmake/debian-changelog
  COMMENT "Making the Debian changelog from CHANGELOG.md"
  VERBATIM)
add_custom_target(velda-debian-changelog ALL DEPENDS ${VELDA_DEBIAN_CHANGELOG})
install(FILES ${VELDA_DEBIAN_CHANGELOG} DESTINATION ${VELDA_DOC_DIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VELDA_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${PROJECT_HOMEPAGE_URL})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "VELDA Installer writes new firmware and data into a VELDA keyboard
instrument over its USB-MIDI connection, from a package file (velda.uxs),
in a window or on the terminal, through the ALSA sequencer or JACK.
.
A simulated instrument is built in, for checking a package without an
instrument. The package also holds uxs, a tool that shows, builds, checks
and dry-runs packages, and velda-sim, the simulated instrument on real
MIDI ports.")
# Debian's permissions, whatever the umask of the build.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
# Man pages are installed compressed.
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/CompressManPages.cmake)
