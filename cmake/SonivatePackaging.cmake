# Installation and the Debian package (cpack -G DEB).
include(GNUInstallDirs)

install(TARGETS sonivate-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(SONIVATE_GUI)
  install(TARGETS sonivate RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/src/gui/resources/sonivate.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${PROJECT_SOURCE_DIR}/src/gui/resources/sonivate.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
endif()

set(CPACK_PACKAGE_NAME sonivate)
set(CPACK_PACKAGE_VENDOR kovantel)
set(CPACK_PACKAGE_CONTACT "sonivate developers <sonivate@kovantel.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Broadcast WAV loudness measurement and normalisation (BS.1770)")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Library dependencies are read off the binaries; the Japanese face and the
# SVG icon engine are run-time needs no binary names.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-noto-cjk, libqt6svg6")
include(CPack)
