# The program `lumivra`: main() over lumivra_app, with its icon and desktop entry for `cmake --install`
# (all in the component "lumivra", so the client alone can be installed).
add_executable(lumivra ${CMAKE_CURRENT_LIST_DIR}/main.cpp)
lumivra_warnings(lumivra)
target_link_libraries(lumivra PRIVATE lumivra_app)

# On macOS the program is an application bundle (see cmake/Packaging.cmake), installed as a whole.
install(TARGETS lumivra
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT lumivra
        BUNDLE DESTINATION . COMPONENT lumivra)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/../Assets/AppIcon.png DESTINATION ${CMAKE_INSTALL_DATADIR}/lumivra COMPONENT lumivra)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/../Assets/AppIcon.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/256x256/apps
        RENAME site.lumivra.wallpaper.png COMPONENT lumivra)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/site.lumivra.wallpaper.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT lumivra)
