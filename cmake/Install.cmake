# Installation: a self-contained program folder (default /opt/orvane-bootload)
# holding the executables, the configuration and the three firmware folders,
# as the programs look for their files beside themselves; links on the PATH;
# the desktop entry and icon; udev rules giving the logged-in user access to
# the reader; manual pages and bash completion. `cpack -G DEB` (or the
# `package` target) builds a .deb of it.

# The default prefix becomes /opt/orvane-bootload, also in build folders made
# before this file existed (once; a prefix chosen later is kept).
if(NOT ORVANE_INSTALL_PREFIX_DEFAULTED)
  if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT OR CMAKE_INSTALL_PREFIX STREQUAL "/usr/local")
    set(CMAKE_INSTALL_PREFIX /opt/orvane-bootload CACHE PATH "Program folder of the installation" FORCE)
  endif()
  set(ORVANE_INSTALL_PREFIX_DEFAULTED ON CACHE INTERNAL "")
endif()
set(ORVANE_INSTALL_LINK_DIR /usr/local/bin CACHE PATH "Where links to the executables are placed")
# The package's layout follows Debian policy.
set(ORVANE_PACKAGE_PREFIX /usr/lib/orvane-bootload CACHE PATH "Program folder in the package")
set(ORVANE_PACKAGE_LINK_DIR /usr/bin CACHE PATH "Where the package places the links")
set(ORVANE_PACKAGE_CONFIG_DIR /etc/orvane-bootload CACHE PATH "Where the package places the configuration")
set(ORVANE_PACKAGE_FIRMWARE_DIR /var/lib/orvane-bootload CACHE PATH "Where the package places the firmware folders")
set(ORVANE_INSTALL_DATA_DIR /usr/share CACHE PATH "Where the desktop entry and the icon go")
set(ORVANE_INSTALL_UDEV_DIR /usr/lib/udev/rules.d CACHE PATH "Where the udev rules go")

set(orvane_programs orvane-bootload-cli)
if(TARGET orvane-bootload)
  list(APPEND orvane_programs orvane-bootload)
endif()
install(TARGETS ${orvane_programs} RUNTIME DESTINATION .)

# The operator's edited configuration survives a reinstall.
# In the package (Debian policy: nothing in /opt, conffiles in /etc, variable
# data in /var) the program folder holds links to /etc/orvane-bootload for the
# configuration and to /var/lib/orvane-bootload for the firmware folders, so
# both programs still find everything beside themselves.
install(CODE "
  if(\"\$ENV{ORVANE_PACKAGING}\")
    set(_config_dir \"${ORVANE_PACKAGE_CONFIG_DIR}\")
    set(_firmware_dir \"${ORVANE_PACKAGE_FIRMWARE_DIR}\")
  else()
    set(_config_dir \"\${CMAKE_INSTALL_PREFIX}\")
    set(_firmware_dir \"\${CMAKE_INSTALL_PREFIX}\")
  endif()
  set(_config \"\$ENV{DESTDIR}\${_config_dir}/BootloadConfiguration.xml\")
  if(EXISTS \"\${_config}\")
    message(STATUS \"Kept: \${_config}\")
  else()
    file(INSTALL \"${PROJECT_SOURCE_DIR}/res/config/BootloadConfiguration.xml\"
         DESTINATION \"\${_config_dir}\" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  endif()
  # The three firmware folders, empty.
  foreach(_folder FirmwareApp FirmwareKernel UniFirmwareApp)
    file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${_firmware_dir}/\${_folder}\")
  endforeach()
  if(\"\$ENV{ORVANE_PACKAGING}\")
    file(CREATE_LINK \"\${_config_dir}/BootloadConfiguration.xml\"
         \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/BootloadConfiguration.xml\" SYMBOLIC)
    foreach(_folder FirmwareApp FirmwareKernel UniFirmwareApp)
      file(CREATE_LINK \"\${_firmware_dir}/\${_folder}\" \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/\${_folder}\" SYMBOLIC)
    endforeach()
  endif()
")

# Links on the PATH, made at install time so that `cmake --install --prefix` is honoured.
# cpack runs the same install; its project file (below) marks the run so that
# the package's links go to /usr/bin.
foreach(program ${orvane_programs})
  install(CODE "
    if(\"\$ENV{ORVANE_PACKAGING}\")
      set(_links \"${ORVANE_PACKAGE_LINK_DIR}\")
    else()
      set(_links \"${ORVANE_INSTALL_LINK_DIR}\")
    endif()
    set(_target \"\${CMAKE_INSTALL_PREFIX}/${program}\")
    if(\"\$ENV{ORVANE_PACKAGING}\" AND _target MATCHES \"^/usr/\")
      # Debian policy: links within one top-level folder are relative.
      file(RELATIVE_PATH _target \"\${_links}\" \"\${_target}\")
    endif()
    file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${_links}\")
    file(CREATE_LINK \"\${_target}\" \"\$ENV{DESTDIR}\${_links}/${program}\" SYMBOLIC)
    message(STATUS \"Link: \$ENV{DESTDIR}\${_links}/${program}\")
  ")
endforeach()

# Manual pages and the changelog, compressed as Debian policy asks (-n: no time
# stamp, so the package is reproducible; the changelog date follows
# SOURCE_DATE_EPOCH when set).
string(TIMESTAMP orvane_changelog_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(${PROJECT_SOURCE_DIR}/res/debian/changelog.in ${CMAKE_CURRENT_BINARY_DIR}/debian-doc/changelog.in @ONLY)
find_program(ORVANE_GZIP gzip REQUIRED)
set(orvane_compressed)
foreach(program ${orvane_programs})
  list(APPEND orvane_compressed "${PROJECT_SOURCE_DIR}/doc/man/${program}.1|man/${program}.1")
endforeach()
list(APPEND orvane_compressed "${CMAKE_CURRENT_BINARY_DIR}/debian-doc/changelog.in|debian-doc/changelog")
foreach(entry ${orvane_compressed})
  string(REPLACE "|" ";" entry "${entry}")
  list(GET entry 0 source)
  list(GET entry 1 target)
  add_custom_command(OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/${target}.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${source} ${CMAKE_CURRENT_BINARY_DIR}/${target}
    COMMAND ${ORVANE_GZIP} -9nf ${CMAKE_CURRENT_BINARY_DIR}/${target}
    DEPENDS ${source} VERBATIM)
  list(APPEND orvane_compressed_files ${CMAKE_CURRENT_BINARY_DIR}/${target}.gz)
endforeach()
add_custom_target(orvane-compressed-docs ALL DEPENDS ${orvane_compressed_files})
list(FILTER orvane_compressed_files INCLUDE REGEX "/man/")
install(FILES ${orvane_compressed_files} DESTINATION ${ORVANE_INSTALL_DATA_DIR}/man/man1)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/debian-doc/changelog.gz ${PROJECT_SOURCE_DIR}/res/debian/copyright
        DESTINATION ${ORVANE_INSTALL_DATA_DIR}/doc/orvane-bootload)
install(FILES ${PROJECT_SOURCE_DIR}/res/completion/orvane-bootload-cli
        DESTINATION ${ORVANE_INSTALL_DATA_DIR}/bash-completion/completions)

if(TARGET orvane-bootload)
  install(FILES ${PROJECT_SOURCE_DIR}/res/desktop/orvane-bootload.desktop
          DESTINATION ${ORVANE_INSTALL_DATA_DIR}/applications)
  install(FILES ${PROJECT_SOURCE_DIR}/res/desktop/orvane-bootload.svg
          DESTINATION ${ORVANE_INSTALL_DATA_DIR}/icons/hicolor/scalable/apps)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/res/udev/70-orvane-bootload.rules DESTINATION ${ORVANE_INSTALL_UDEV_DIR})

# ---- the Debian package ----
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvane-bootload)
set(CPACK_PACKAGE_VENDOR "Orvane")
set(CPACK_PACKAGE_CONTACT "Orvane Reader Bootload Software maintainers <bootload@orvane.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Firmware-update tool for the Orvane payment card reader")
set(CPACK_PACKAGE_DESCRIPTION
    "Desktop program and command line that update the firmware of an Orvane\npayment card reader over USB HID, serial, TCP or TLS.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# Absolute destinations (links, desktop entry, udev rules) go into the package, never into this machine.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX ${ORVANE_PACKAGE_PREFIX})
set(CPACK_PACKAGING_INSTALL_PREFIX ${ORVANE_PACKAGE_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "udev")
if(TARGET orvane-bootload)
  # Qt's platform plugins and the font the program asks for by the name Arial.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-liberation2")
endif()
set(orvane_deb_control ${CMAKE_CURRENT_BINARY_DIR}/deb-control)
file(MAKE_DIRECTORY ${orvane_deb_control})
file(WRITE ${orvane_deb_control}/conffiles "${ORVANE_PACKAGE_CONFIG_DIR}/BootloadConfiguration.xml\n")
file(WRITE ${orvane_deb_control}/postinst
     "#!/bin/sh\nset -e\nif [ \"$1\" = configure ] && command -v udevadm >/dev/null 2>&1; then\n"
     "  udevadm control --reload-rules 2>/dev/null || true\n"
     "  udevadm trigger --subsystem-match=hidraw --subsystem-match=tty 2>/dev/null || true\nfi\n")
file(CHMOD ${orvane_deb_control}/postinst PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
     GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA "${orvane_deb_control}/conffiles;${orvane_deb_control}/postinst")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_BINARY_DIR}/orvane-cpack-project.cmake)
file(WRITE ${CPACK_PROJECT_CONFIG_FILE} "set(ENV{ORVANE_PACKAGING} 1)\n")
include(CPack)
