# Installation under a prefix: the program in bin/, its clipboard keeper as a
# private helper in lib/lodestone/ (the program looks for it there, relative
# to itself), and the desktop entry, icons, AppStream metadata, manual page and
# licence where desktops and package tools expect them. Nothing installed
# refers to the source or build tree.
include(GNUInstallDirs)
if(LODESTONE_GUI)
  install(TARGETS lodestone RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(TARGETS lodestone-clipboard RUNTIME DESTINATION lib/lodestone)
  install(FILES ${PROJECT_SOURCE_DIR}/desktop/lodestone.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${PROJECT_SOURCE_DIR}/desktop/org.lodestone.lodestone.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  foreach(size 16 24 32 48 64 128 256)
    install(FILES ${PROJECT_SOURCE_DIR}/desktop/icons/lodestone-${size}.png
      DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
      RENAME lodestone.png)
  endforeach()
  install(FILES ${PROJECT_SOURCE_DIR}/desktop/icons/lodestone.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

  # The manual page and the changelog go compressed, without a time stamp in
  # the compressed file, as Debian packages carry them.
  set(man ${CMAKE_CURRENT_BINARY_DIR}/lodestone.1.gz)
  set(changelog ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz)
  add_custom_command(OUTPUT ${man}
    COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/desktop/lodestone.1 > ${man}
    DEPENDS ${PROJECT_SOURCE_DIR}/desktop/lodestone.1 VERBATIM)
  add_custom_command(OUTPUT ${changelog}
    COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/packaging/changelog > ${changelog}
    DEPENDS ${PROJECT_SOURCE_DIR}/packaging/changelog VERBATIM)
  add_custom_target(lodestone_docs ALL DEPENDS ${man} ${changelog})
  install(FILES ${man} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${changelog}
    DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()

# `cpack` (scripts/package) makes the Debian package of what is installed.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME lodestone)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# The package depends on the libraries of the Debian release it is built on
# and installs only there, so its version names that release: 1.0.0~deb13.
file(STRINGS /etc/os-release os_release REGEX "^(ID|VERSION_ID)=")
if("ID=debian" IN_LIST os_release)
  list(FILTER os_release INCLUDE REGEX "^VERSION_ID=")
  string(REGEX REPLACE "^VERSION_ID=\"?([0-9]+).*" "\\1" debian_release "${os_release}")
  if(debian_release MATCHES "^[0-9]+$")
    set(CPACK_DEBIAN_PACKAGE_VERSION "${PROJECT_VERSION}~deb${debian_release}")
  endif()
endif()
set(CPACK_PACKAGE_CONTACT "The Lodestone developers <lodestone@lodestone.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop client for a torrent search portal")
set(CPACK_PACKAGE_DESCRIPTION
  "Lodestone shows a torrent search portal in its window. Play links open a
player window that streams the torrent through the portal's web player;
torrent links put the magnet link and the addresses of the torrent file on
two torrent caches on the clipboard. It keeps a tray icon and runs once per
user.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# A placeholder until the project has an address of its own (also in the
# AppStream metadata): change both before publishing.
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://example.org/lodestone/)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The wayland plugin and Qt's Chinese texts are used when present; without a
# CJK font every text is boxes. WenQuanYi Micro Hei has every GBK character
# in 5 MiB, where Noto CJK takes 91.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
  "qt6-wayland, qt6-translations-l10n, fonts-wqy-microhei | fonts-noto-cjk")
include(CPack)
