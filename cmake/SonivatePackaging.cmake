# Installation and the Debian package (cpack -G DEB): the programs, their
# manual pages, bash completion, the desktop entry, AppStream metainfo and
# icon, the watch-folder service template and the documents Debian asks for.
include(GNUInstallDirs)

set(SONIVATE_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)
set(SONIVATE_PACKAGING_OUT ${PROJECT_BINARY_DIR}/packaging)
# The reverse-DNS id of the window in software centres.
set(SONIVATE_APPSTREAM_ID com.kovantel.sonivate)
set(SONIVATE_DEB_RELEASE 1)
set(SONIVATE_MAINTAINER "sonivate developers <sonivate@kovantel.invalid>")

# Installed directories are rwxr-xr-x whatever the umask of the build.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

find_program(SONIVATE_GZIP gzip REQUIRED)

# A compressed copy of a packaging file, as Debian ships documentation:
# gzip -9n, so that the archive holds neither name nor time stamp.
set(SONIVATE_COMPRESSED_FILES)
function(sonivate_compress source output)
  set(plain ${SONIVATE_PACKAGING_OUT}/${output})
  string(REGEX REPLACE "\\.gz$" "" plain ${plain})
  add_custom_command(OUTPUT ${plain}.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${source} ${plain}
    COMMAND ${SONIVATE_GZIP} -9nf ${plain}
    DEPENDS ${source}
    COMMENT "Compressing ${output}"
    VERBATIM)
  list(APPEND SONIVATE_COMPRESSED_FILES ${plain}.gz)
  set(SONIVATE_COMPRESSED_FILES ${SONIVATE_COMPRESSED_FILES} PARENT_SCOPE)
endfunction()

# The manual pages carry the version; the changelog entry names it.
set(SONIVATE_PACKAGE_VERSION ${PROJECT_VERSION}-${SONIVATE_DEB_RELEASE})
foreach(page sonivate.1 sonivate-cli.1)
  configure_file(${SONIVATE_PACKAGING_DIR}/${page} ${SONIVATE_PACKAGING_OUT}/src/${page} @ONLY)
  sonivate_compress(${SONIVATE_PACKAGING_OUT}/src/${page} ${page}.gz)
endforeach()
configure_file(${SONIVATE_PACKAGING_DIR}/changelog.Debian ${SONIVATE_PACKAGING_OUT}/src/changelog.Debian @ONLY)
sonivate_compress(${SONIVATE_PACKAGING_OUT}/src/changelog.Debian changelog.Debian.gz)
add_custom_target(sonivate_packaging_files ALL DEPENDS ${SONIVATE_COMPRESSED_FILES})

set(SONIVATE_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/sonivate)
set(SONIVATE_MAN1_DIR ${CMAKE_INSTALL_MANDIR}/man1)

install(TARGETS sonivate-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${SONIVATE_PACKAGING_OUT}/sonivate-cli.1.gz DESTINATION ${SONIVATE_MAN1_DIR})
install(FILES ${SONIVATE_PACKAGING_DIR}/sonivate-cli.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME sonivate-cli)
# Relative to the prefix: /usr/lib/systemd/system in the package.
install(FILES ${SONIVATE_PACKAGING_DIR}/sonivate-watch@.service DESTINATION lib/systemd/system)
install(FILES ${SONIVATE_PACKAGING_DIR}/watch.conf DESTINATION ${SONIVATE_DOC_DIR}/examples)
install(FILES ${SONIVATE_PACKAGING_DIR}/copyright ${SONIVATE_PACKAGING_OUT}/changelog.Debian.gz
        DESTINATION ${SONIVATE_DOC_DIR})

if(SONIVATE_GUI)
  install(TARGETS sonivate RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${SONIVATE_PACKAGING_OUT}/sonivate.1.gz DESTINATION ${SONIVATE_MAN1_DIR})
  install(FILES ${PROJECT_SOURCE_DIR}/src/gui/resources/sonivate.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${SONIVATE_PACKAGING_DIR}/${SONIVATE_APPSTREAM_ID}.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  install(FILES ${PROJECT_SOURCE_DIR}/src/gui/resources/sonivate.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
endif()

set(CPACK_PACKAGE_NAME sonivate)
set(CPACK_PACKAGE_VENDOR kovantel)
set(CPACK_PACKAGE_CONTACT "${SONIVATE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "broadcast WAV loudness measurement and normalisation (BS.1770)")
set(CPACK_PACKAGE_DESCRIPTION
    "sonivate measures the programme loudness of broadcast WAV files per\n"
    "ITU-R BS.1770 and their sample peak over a range chosen by cue markers,\n"
    "finds the gain to a target loudness, marks files whose gain would clip,\n"
    "and writes gain-adjusted copies in which every byte outside the measured\n"
    "audio is kept.\n"
    "\n"
    "The package holds the window (sonivate, in Japanese or English), the command line\n"
    "(sonivate-cli, with true peak, loudness range and delivery profiles for\n"
    "EBU R 128, ATSC A/85 and ARIB TR-B32) and a systemd service template\n"
    "for watch folders.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${SONIVATE_DEB_RELEASE})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${SONIVATE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Library dependencies are read off the binaries; the Japanese face, the
# SVG icon engine and Qt's own Japanese texts (its dialogs, for a Japanese
# window) are run-time needs no binary names.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(SONIVATE_GUI)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-noto-cjk, libqt6svg6, qt6-translations-l10n")
endif()
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "bash-completion, parallel")
include(CPack)
