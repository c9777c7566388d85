# `make install`: the program, its music, a desktop entry with its icons,
# AppStream metadata and a manual page made from the program's --help text, under the usual folders
# of the install prefix. `make uninstall` removes the same files: each one is
# installed through orchid_install, which also lists it for the uninstall
# script written below.
include(GNUInstallDirs)

# The manual page, made at build time from what `orchid --help` and
# `orchid --version` print; a cross build (ARM64 Linux) takes the native
# build's, whose text is the same.
if(CMAKE_CROSSCOMPILING)
  set(ORCHID_MAN_PAGE ${ORCHID_HOST_BUILD}/orchid.6)
else()
  set(ORCHID_MAN_PAGE ${CMAKE_BINARY_DIR}/orchid.6)
  add_custom_command(OUTPUT ${ORCHID_MAN_PAGE}
    COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:orchid> -DOUTPUT=${ORCHID_MAN_PAGE} -DSECTION=6
            "-DSUMMARY=a real-time audiovisual show in step with one piece of music"
            -DFILES=${CMAKE_INSTALL_PREFIX}/${ORCHID_INSTALL_DATADIR}/kestrune-velomar.mp3
            -P ${PROJECT_SOURCE_DIR}/cmake/HelpToMan.cmake
    DEPENDS orchid ${PROJECT_SOURCE_DIR}/cmake/HelpToMan.cmake
    COMMENT "Making the manual page from orchid --help")
  add_custom_target(orchid_man ALL DEPENDS ${ORCHID_MAN_PAGE})
endif()

set(ORCHID_INSTALLED_FILES "")
# Installs `source` as <prefix>/<folder>/<name>; PROGRAMS or FILES.
macro(orchid_install kind source folder name)
  install(${kind} ${source} DESTINATION ${folder} RENAME ${name})
  list(APPEND ORCHID_INSTALLED_FILES ${folder}/${name})
endmacro()

orchid_install(PROGRAMS $<TARGET_FILE:orchid> ${CMAKE_INSTALL_BINDIR} orchid)
# The program looks for its music here last (ORCHID_DATA_DIR).
orchid_install(FILES ${ORCHID_MUSIC_FILE} ${ORCHID_INSTALL_DATADIR} kestrune-velomar.mp3)
orchid_install(FILES ${PROJECT_SOURCE_DIR}/assets/orchid.desktop ${CMAKE_INSTALL_DATADIR}/applications
  orchid.desktop)
foreach(size IN LISTS ORCHID_ICON_SIZES)
  orchid_install(FILES ${ORCHID_ICON_PNG_${size}} ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps orchid.png)
endforeach()
orchid_install(FILES ${PROJECT_SOURCE_DIR}/assets/show.orchid.orchid.metainfo.xml ${CMAKE_INSTALL_DATADIR}/metainfo
  show.orchid.orchid.metainfo.xml)
orchid_install(FILES ${ORCHID_MAN_PAGE} ${CMAKE_INSTALL_MANDIR}/man6 orchid.6)

# cmake -DPREFIX=<prefix> -P orchid_uninstall.cmake removes them again, under
# $DESTDIR when that is set, and the data folder once it is empty.
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/orchid_uninstall.cmake CONTENT [=[
if(NOT PREFIX)
  message(FATAL_ERROR "uninstall: say where Orchid was installed with -DPREFIX=<prefix>")
endif()
set(root "$ENV{DESTDIR}${PREFIX}")
foreach(file IN ITEMS @ORCHID_INSTALLED_FILES@)
  if(EXISTS "${root}/${file}" OR IS_SYMLINK "${root}/${file}")
    message(STATUS "Removing ${root}/${file}")
    file(REMOVE "${root}/${file}")
  endif()
endforeach()
file(GLOB left "${root}/@ORCHID_INSTALL_DATADIR@/*")
if(IS_DIRECTORY "${root}/@ORCHID_INSTALL_DATADIR@" AND NOT left)
  file(REMOVE_RECURSE "${root}/@ORCHID_INSTALL_DATADIR@")
endif()
]=] @ONLY)
add_custom_target(uninstall
  COMMAND ${CMAKE_COMMAND} -DPREFIX=${CMAKE_INSTALL_PREFIX} -P ${CMAKE_BINARY_DIR}/orchid_uninstall.cmake)
