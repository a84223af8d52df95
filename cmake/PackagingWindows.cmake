# The Windows downloads (target velda-windows-packages): velda-installer-<version>-windows-x86_64.zip
# (the exe, a short README and the licence) and velda-installer-<version>-windows-x86_64-setup.exe
# made by makensis from the same three files.
set(VELDA_WIN_NAME velda-installer-${PROJECT_VERSION}-windows-x86_64)
set(VELDA_WIN_STAGE ${CMAKE_BINARY_DIR}/package/${VELDA_WIN_NAME})
set(VELDA_WIN_ZIP ${CMAKE_BINARY_DIR}/${VELDA_WIN_NAME}.zip)
set(VELDA_NSIS_OUT ${CMAKE_BINARY_DIR}/${VELDA_WIN_NAME}-setup.exe)
configure_file(${PROJECT_SOURCE_DIR}/resources/windows/README.txt.in ${CMAKE_BINARY_DIR}/package/README.txt @ONLY
               NEWLINE_STYLE CRLF)
file(READ ${PROJECT_SOURCE_DIR}/LICENSE VELDA_LICENSE_TEXT)
string(REPLACE "\n" "\r\n" VELDA_LICENSE_TEXT "${VELDA_LICENSE_TEXT}")
file(WRITE ${CMAKE_BINARY_DIR}/package/LICENSE.txt "${VELDA_LICENSE_TEXT}")
configure_file(${PROJECT_SOURCE_DIR}/resources/windows/velda-installer.nsi.in
               ${CMAKE_BINARY_DIR}/package/velda-installer.nsi @ONLY)

find_program(VELDA_MAKENSIS makensis)
find_program(VELDA_STRIP NAMES ${VELDA_MINGW_PREFIX}-strip x86_64-w64-mingw32-strip)
add_custom_command(OUTPUT ${VELDA_WIN_ZIP}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${VELDA_WIN_STAGE}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${VELDA_WIN_STAGE}
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:velda-installer> ${VELDA_WIN_STAGE}/velda-installer.exe
  COMMAND ${VELDA_STRIP} ${VELDA_WIN_STAGE}/velda-installer.exe
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_BINARY_DIR}/package/README.txt ${CMAKE_BINARY_DIR}/package/LICENSE.txt
          ${VELDA_WIN_STAGE}
  COMMAND ${CMAKE_COMMAND} -E rm -f ${VELDA_WIN_ZIP}
  COMMAND ${CMAKE_COMMAND} -E chdir ${CMAKE_BINARY_DIR}/package
          ${CMAKE_COMMAND} -E tar cf ${VELDA_WIN_ZIP} --format=zip ${VELDA_WIN_NAME}
  DEPENDS velda-installer ${CMAKE_BINARY_DIR}/package/README.txt ${PROJECT_SOURCE_DIR}/LICENSE
  COMMENT "Making ${VELDA_WIN_NAME}.zip"
  VERBATIM)
add_custom_command(OUTPUT ${VELDA_NSIS_OUT}
  COMMAND ${VELDA_MAKENSIS} -V2 -NOCD ${CMAKE_BINARY_DIR}/package/velda-installer.nsi
  WORKING_DIRECTORY ${VELDA_WIN_STAGE}
  DEPENDS ${VELDA_WIN_ZIP} ${CMAKE_BINARY_DIR}/package/velda-installer.nsi
  COMMENT "Making ${VELDA_WIN_NAME}-setup.exe"
  VERBATIM)
add_custom_target(velda-windows-packages DEPENDS ${VELDA_WIN_ZIP} ${VELDA_NSIS_OUT})
