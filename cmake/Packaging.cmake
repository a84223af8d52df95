# The packages a user installs instead of building: on Linux a Debian package (cpack -G DEB in
# build/default), on Windows a zip and an NSIS installer (target velda-windows-packages in
# build/windows); make package makes all three. Their version is the project version.
include(GNUInstallDirs)

set(VELDA_MAINTAINER "The VELDA Installer developers <maintainers@velda-installer.org>")
set(VELDA_SUMMARY "firmware installer for VELDA keyboard instruments")

# The release date of this version comes from its CHANGELOG.md entry ("## 1.10 - 2026-12-08"):
# a version without an entry does not configure.
file(STRINGS ${PROJECT_SOURCE_DIR}/CHANGELOG.md VELDA_CHANGELOG_HEADING
     REGEX "^## ${PROJECT_VERSION} - [0-9]+-[0-9]+-[0-9]+$")
if(NOT VELDA_CHANGELOG_HEADING)
  message(FATAL_ERROR "CHANGELOG.md has no entry \"## ${PROJECT_VERSION} - YYYY-MM-DD\"")
endif()
string(REGEX REPLACE "^## [^ ]+ - " "" VELDA_RELEASE_DATE "${VELDA_CHANGELOG_HEADING}")

set(CPACK_PACKAGE_NAME velda-installer)
set(CPACK_PACKAGE_VENDOR "The VELDA Installer developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${VELDA_SUMMARY}")
set(CPACK_PACKAGE_HOMEPAGE_URL ${PROJECT_HOMEPAGE_URL})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_INSTALL_DIRECTORY "VELDA Installer")
set(CPACK_STRIP_FILES ON)
set(CPACK_SOURCE_IGNORE_FILES "/build/;/\\\\.git/")

if(WIN32)
  include(${CMAKE_CURRENT_LIST_DIR}/PackagingWindows.cmake)
else()
  include(${CMAKE_CURRENT_LIST_DIR}/PackagingDebian.cmake)
  include(CPack)
endif()
