# Installation and the Debian package. The stand-in programs are for demos and tests and
# are not installed.
install(TARGETS jobrunner RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET jobrunner-window)
  install(TARGETS jobrunner-window RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/jobrunner)
endif()
install(FILES ${CMAKE_SOURCE_DIR}/docs/jobrunner.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs/help/
        DESTINATION ${CMAKE_INSTALL_DATADIR}/jobrunner/help)
if(JOBRUNNER_WITH_GUI AND NOT WIN32)
  # The editor in the desktop's applications menu.
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/jobrunner.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/jobrunner.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
endif()

set(CPACK_PACKAGE_NAME jobrunner)
set(CPACK_PACKAGE_VENDOR "Extraction Job Runner developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Extraction Job Runner: define, store and run extraction jobs")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "jobrunner@localhost")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Extraction Job Runner developers <jobrunner@localhost>")
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The runtime libraries are worked out from the binary itself.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The package carries no debug information (most of the unstripped program's size).
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
include(CPack)
