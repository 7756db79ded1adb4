# What a user installs: an application bundle on macOS, two Debian packages through CPack elsewhere.
# Included last, once every install rule and target exists.

set(lumivra_packaging_dir ${CMAKE_SOURCE_DIR}/packaging)

if(APPLE)
  # The client lives in the menu bar only; LSUIElement keeps it out of the Dock from the first moment,
  # before the program itself switches to the accessory policy.
  set(lumivra_bundle_icon ${CMAKE_SOURCE_DIR}/src/Wallpaper.Client/Assets/AppIcon.png)
  target_sources(lumivra PRIVATE ${lumivra_bundle_icon})
  # Source properties belong to a directory: they must be set where the target is defined.
  set_source_files_properties(${lumivra_bundle_icon} TARGET_DIRECTORY lumivra
                              PROPERTIES MACOSX_PACKAGE_LOCATION Resources)
  set_target_properties(lumivra PROPERTIES
    MACOSX_BUNDLE ON
    OUTPUT_NAME Lumivra
    MACOSX_BUNDLE_INFO_PLIST ${lumivra_packaging_dir}/macos/Info.plist.in
    MACOSX_BUNDLE_GUI_IDENTIFIER site.lumivra.wallpaper.mac
    MACOSX_BUNDLE_BUNDLE_NAME Lumivra
    MACOSX_BUNDLE_ICON_FILE AppIcon.png
    MACOSX_BUNDLE_BUNDLE_VERSION ${PROJECT_VERSION}
    MACOSX_BUNDLE_SHORT_VERSION_STRING ${PROJECT_VERSION})
  return()
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME lumivra)
set(CPACK_PACKAGE_VENDOR Lumivra)
set(CPACK_PACKAGE_CONTACT "Lumivra maintainers <maintainers@lumivra.site>")
set(CPACK_PACKAGE_HOMEPAGE_URL https://lumivra.site)
set(CPACK_STRIP_FILES ON)

# Each package's description starts with its own summary line; a common one would be put in front of both.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "")
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Depends come from the libraries the binaries link. The X11 platform plugin and the TLS backend that Qt
# loads at run time ship in libqt6gui6 and libqt6network6 on Debian 12, both of which those links pull in.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

set(CPACK_DEBIAN_LUMIVRA_PACKAGE_NAME lumivra)
set(CPACK_DEBIAN_LUMIVRA_PACKAGE_SECTION x11)
set(CPACK_DEBIAN_LUMIVRA_DESCRIPTION
    "daily wallpaper from the Lumivra service in the system tray
Lumivra keeps the desktop picture in step with the Lumivra wallpaper service.
It sits in the system tray, asks the service for today's wallpaper at start
and every hour, verifies each download by its SHA-256 digest, keeps a cache
and sets the picture on every screen through the desktop's own mechanism
(GNOME, Cinnamon, MATE, KDE Plasma, XFCE, LXQt, sway or a plain X11 root
window).")

set(CPACK_DEBIAN_SERVER_PACKAGE_NAME lumivra-server)
set(CPACK_DEBIAN_SERVER_PACKAGE_SECTION web)
set(CPACK_DEBIAN_SERVER_DESCRIPTION
    "reference wallpaper service for the Lumivra client
lumivra-server serves a folder of pictures over HTTP with the API the
Lumivra desktop client talks to: today's wallpaper chosen by a schedule
file or a stable daily rotation, and its download. It ships with sample
pictures and suits testing the client or hosting one's own wallpapers.")

# Software centres find the program through its AppStream record, which names the desktop entry.
install(FILES ${lumivra_packaging_dir}/site.lumivra.wallpaper.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT lumivra)
# Debian wants a copyright file and a changelog in each package's doc folder, the changelog compressed
# without a name or time stamp so that builds are reproducible.
configure_file(${lumivra_packaging_dir}/changelog.in ${CMAKE_BINARY_DIR}/packaging/changelog.Debian @ONLY)
execute_process(COMMAND gzip -n -9 -f ${CMAKE_BINARY_DIR}/packaging/changelog.Debian COMMAND_ERROR_IS_FATAL ANY)
set(lumivra_debian_docs ${lumivra_packaging_dir}/copyright ${CMAKE_BINARY_DIR}/packaging/changelog.Debian.gz)
install(FILES ${lumivra_debian_docs} DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/lumivra COMPONENT lumivra)
set(CPACK_COMPONENTS_ALL lumivra)
if(TARGET lumivra-server)
  install(FILES ${lumivra_debian_docs} DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/lumivra-server
          COMPONENT server)
  list(APPEND CPACK_COMPONENTS_ALL server)
  # The service and the daily export as systemd units, under a user of the package's own, with their one
  # settings file, which dpkg keeps as the operator edited it.
  set(LUMIVRA_SETTINGS_FILE ${CMAKE_INSTALL_FULL_SYSCONFDIR}/default/lumivra-server)
  set(lumivra_generated ${CMAKE_BINARY_DIR}/packaging)
  foreach(unit lumivra-server.service lumivra-export.service)
    configure_file(${lumivra_packaging_dir}/systemd/${unit}.in ${lumivra_generated}/${unit} @ONLY)
  endforeach()
  install(FILES ${lumivra_generated}/lumivra-server.service ${lumivra_generated}/lumivra-export.service
                ${lumivra_packaging_dir}/systemd/lumivra-export.timer
          DESTINATION ${CMAKE_INSTALL_PREFIX}/lib/systemd/system COMPONENT server)
  install(FILES ${lumivra_packaging_dir}/systemd/lumivra-server.sysusers
          DESTINATION ${CMAKE_INSTALL_PREFIX}/lib/sysusers.d RENAME lumivra-server.conf COMPONENT server)
  install(FILES ${lumivra_packaging_dir}/debian/lumivra-server.default DESTINATION ${CMAKE_INSTALL_FULL_SYSCONFDIR}/default
          RENAME lumivra-server COMPONENT server)
  configure_file(${lumivra_packaging_dir}/debian/conffiles.in ${lumivra_generated}/conffiles @ONLY)
  set(CPACK_DEBIAN_SERVER_PACKAGE_CONTROL_EXTRA
      ${lumivra_generated}/conffiles ${lumivra_packaging_dir}/debian/postinst
      ${lumivra_packaging_dir}/debian/prerm ${lumivra_packaging_dir}/debian/postrm)
endif()

include(CPack)
