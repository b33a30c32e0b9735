# Desktop integration of the installed app: the desktop entry, the AppStream metainfo and the
# icon, all under the app's reverse-DNS id, and the tests that validate them and a real install.
set(SORVIK_APP_ID io.github.sorvik.Sorvik)
set(SORVIK_DESKTOP_ENTRY ${CMAKE_CURRENT_SOURCE_DIR}/Resources/desktop/${SORVIK_APP_ID}.desktop)
set(SORVIK_METAINFO ${CMAKE_CURRENT_SOURCE_DIR}/Resources/desktop/${SORVIK_APP_ID}.metainfo.xml)
set(SORVIK_APP_ICON ${CMAKE_CURRENT_SOURCE_DIR}/Resources/app/sorvik.svg)

install(FILES ${SORVIK_DESKTOP_ENTRY} DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${SORVIK_METAINFO} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${SORVIK_APP_ICON} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME ${SORVIK_APP_ID}.svg)

if(SORVIK_TESTS)
  find_program(SORVIK_APPSTREAMCLI appstreamcli REQUIRED)
  find_program(SORVIK_DESKTOP_FILE_VALIDATE desktop-file-validate REQUIRED)
  set(SORVIK_INSTALL_CHECKS ${CMAKE_CURRENT_SOURCE_DIR}/cmake/SorvikInstallChecks.cmake)

  add_test(NAME DesktopIntegration.MetainfoIsValid
    COMMAND ${CMAKE_COMMAND} -DCHECK=metainfo -DVALIDATOR=${SORVIK_APPSTREAMCLI}
      -DFILE=${SORVIK_METAINFO} -P ${SORVIK_INSTALL_CHECKS})
  add_test(NAME DesktopIntegration.DesktopEntryIsValid
    COMMAND ${CMAKE_COMMAND} -DCHECK=desktop-entry -DVALIDATOR=${SORVIK_DESKTOP_FILE_VALIDATE}
      -DFILE=${SORVIK_DESKTOP_ENTRY} -P ${SORVIK_INSTALL_CHECKS})
  add_test(NAME DesktopIntegration.InstallPutsEverythingInPlace
    COMMAND ${CMAKE_COMMAND} -DCHECK=install -DBUILD_DIR=${CMAKE_BINARY_DIR}
      -DPREFIX=${CMAKE_BINARY_DIR}/install-check -DAPP_ID=${SORVIK_APP_ID} -DBINDIR=${CMAKE_INSTALL_BINDIR}
      -DDATADIR=${CMAKE_INSTALL_DATADIR} -DMODULE_DIR=${SORVIK_MODULE_DIR} -DMODULE_FROM_BIN=${SORVIK_MODULE_FROM_BIN}
      -DSAMPLE_SOURCE=${SORVIK_SAMPLE_SOURCE} -P ${SORVIK_INSTALL_CHECKS})
  add_test(NAME DesktopIntegration.ScreenshotScriptDrawsTheWindow
    COMMAND ${CMAKE_COMMAND} -DCHECK=screenshot -DSCRIPT=${CMAKE_CURRENT_SOURCE_DIR}/scripts/screenshot.sh
      -DAPP=$<TARGET_FILE:sorvik> -DOUT=${CMAKE_BINARY_DIR}/screenshot-check/main-window.png -P ${SORVIK_INSTALL_CHECKS})
  set_tests_properties(DesktopIntegration.MetainfoIsValid DesktopIntegration.DesktopEntryIsValid
    DesktopIntegration.InstallPutsEverythingInPlace DesktopIntegration.ScreenshotScriptDrawsTheWindow
    PROPERTIES TIMEOUT 240)
endif()
