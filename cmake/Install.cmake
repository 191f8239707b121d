# Installation: the program with its clipboard keeper beside it (the program
# looks for the keeper in its own folder), the desktop entry and the icon,
# laid out as desktop menus and icon themes expect.
include(GNUInstallDirs)
if(LODESTONE_GUI)
  install(TARGETS lodestone lodestone-clipboard RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/desktop/lodestone.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  foreach(size 32 256)
    install(FILES ${PROJECT_SOURCE_DIR}/desktop/icons/lodestone-${size}.png
      DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
      RENAME lodestone.png)
  endforeach()
endif()
