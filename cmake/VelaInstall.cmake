# Installation as a Linux program (`cmake --install BUILD --prefix PREFIX`, DESTDIR honoured) and
# the Debian package of it (`cpack`, scripts/make-package):
#   PREFIX/bin/                       velaplay, the title tools, a launcher for each Python tool
#                                     (in the package PREFIX/games/, where Debian keeps a game's)
#   PREFIX/lib/velaplay/              libvela.so, which the player finds from its own folder
#   PREFIX/share/velaplay/tools/      the Python tools
#   PREFIX/share/velaplay/sample/     the sample title, to try the player on
#   PREFIX/share/man/man6, man1/      the manual pages, compressed
#   PREFIX/share/applications/        the desktop entry; its icon under share/icons/hicolor/
#   PREFIX/share/doc/velaplay/        README.md, copyright (the licences), changelog
# The player looks for its companion library in ../lib/velaplay/ from its own folder
# (CompanionFolder in media/velabind.cpp), so these folders stay as they are whatever
# GNUInstallDirs would say.
set(VELA_COMPANION_DESTINATION lib/velaplay)
set(VELA_TOOLS_DESTINATION share/velaplay/tools)
set(VELA_SAMPLE_DESTINATION share/velaplay/sample)
set(VELA_DOC_DESTINATION share/doc/velaplay)

install(TARGETS vela_companion LIBRARY DESTINATION ${VELA_COMPANION_DESTINATION})

# Each Python tool is a command of its name without ".py", run by a launcher; the modules stay
# together, since vpage.py imports nxcompile.py. The launchers find them from bin/ and games/ alike.
set(VELA_PYTHON_TOOLS nxcompile vfilm vpage vprevmenu vregion)
file(RELATIVE_PATH VELA_LAUNCHER_TO_TOOLS /bin /${VELA_TOOLS_DESTINATION})
set(launchers)
foreach(TOOL IN LISTS VELA_PYTHON_TOOLS)
  configure_file(${CMAKE_SOURCE_DIR}/dist/launcher.in ${CMAKE_BINARY_DIR}/dist/bin/${TOOL} @ONLY)
  list(APPEND launchers ${CMAKE_BINARY_DIR}/dist/bin/${TOOL})
  install(FILES ${CMAKE_SOURCE_DIR}/tools/${TOOL}.py DESTINATION ${VELA_TOOLS_DESTINATION})
endforeach()

# The commands: the player, the title tools and the launchers, installed by `cmake --install`
# into bin/ (component "commands"), and into games/ only when asked for by name (component
# "game_commands", which the package takes instead).
function(vela_install_commands Destination Component)
  install(TARGETS velaplay vfpack vexpr vimage vwipe vgif RUNTIME DESTINATION ${Destination}
          COMPONENT ${Component} ${ARGN})
  install(PROGRAMS ${launchers} DESTINATION ${Destination} COMPONENT ${Component} ${ARGN})
endfunction()
vela_install_commands(bin commands)
vela_install_commands(games game_commands EXCLUDE_FROM_ALL)

# Source compressed by the build, as Debian has manual pages and changelogs, and installed into
# Destination.
set(compressed_files)
function(vela_install_compressed Source Destination)
  add_custom_command(OUTPUT ${Source}.gz COMMAND gzip -9nkf ${Source} DEPENDS ${Source} VERBATIM)
  install(FILES ${Source}.gz DESTINATION ${Destination})
  set(compressed_files ${compressed_files} ${Source}.gz PARENT_SCOPE)
endfunction()

# The manual pages carry the version.
set(VELA_MANUAL_PAGES velaplay.6)
foreach(TOOL vfpack vexpr vimage vwipe vgif ${VELA_PYTHON_TOOLS})
  list(APPEND VELA_MANUAL_PAGES ${TOOL}.1)
endforeach()
foreach(page IN LISTS VELA_MANUAL_PAGES)
  configure_file(${CMAKE_SOURCE_DIR}/dist/man/${page} ${CMAKE_BINARY_DIR}/dist/man/${page} @ONLY)
  string(REGEX MATCH "[0-9]$" section ${page})
  vela_install_compressed(${CMAKE_BINARY_DIR}/dist/man/${page} share/man/man${section})
endforeach()

# The package's maintainer signs the changelog's one entry for VELA_PACKAGE_VERSION, dated when the
# tree is configured (SOURCE_DATE_EPOCH when set).
set(VELA_PACKAGE_MAINTAINER "Vela player developers <velaplay@example.org>")
string(TIMESTAMP VELA_PACKAGE_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(${CMAKE_SOURCE_DIR}/dist/changelog.in ${CMAKE_BINARY_DIR}/dist/changelog @ONLY)
vela_install_compressed(${CMAKE_BINARY_DIR}/dist/changelog ${VELA_DOC_DESTINATION})
add_custom_target(compressed_documents ALL DEPENDS ${compressed_files})

# The sample title as the build packs it. Installed, its folder cannot be written: its saves go
# under the user's data folder.
get_target_property(sample_folder sample_title VELA_TITLE_FOLDER)
install(FILES ${sample_folder}/game.dat ${sample_folder}/install.dat DESTINATION ${VELA_SAMPLE_DESTINATION})

install(FILES ${CMAKE_SOURCE_DIR}/dist/velaplay.desktop DESTINATION share/applications)
install(FILES ${CMAKE_SOURCE_DIR}/dist/velaplay.svg DESTINATION share/icons/hicolor/scalable/apps)
install(FILES ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/dist/copyright DESTINATION ${VELA_DOC_DESTINATION})

# The package: its Depends worked out by dpkg-shlibdeps from the player, the tools and the
# companion library (which the player loads by name, so nothing links it), python3 for the Python
# tools, and the Japanese faces that stand in for the titles' fonts, without which no text is
# drawn. Recommended: zenity for message boxes that draw Japanese, a General MIDI sound font the
# player looks for in /usr/share/sounds/sf2/, and xdg-open for the pages and files a title opens.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velaplay)
set(CPACK_PACKAGE_VERSION ${VELA_PACKAGE_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "player for Japanese visual-novel and multimedia titles")
set(CPACK_PACKAGE_DESCRIPTION [[Vela plays titles authored as an archive (game.dat) of script pages,
pictures, films, fonts, sounds and videos: it runs the script, draws the
scene into its window, plays sound, MIDI, CD audio and video, and keeps
the title's save data.

The package also holds the tools that make titles: the archive packer
vfpack, the expression compiler vexpr, the picture tools vimage, vgif and
vwipe, and the page, film, image-map and preview-menu writers, with a
sample title to try the player on: velaplay /usr/share/velaplay/sample]])
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${VELA_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "python3, fonts-ipafont-gothic, fonts-ipafont-mincho")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "zenity, timgm6mb-soundfont | fluid-soundfont-gm, xdg-utils")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_SOURCE_DIR}/cmake/VelaDebWithoutLdconfig.cmake)
# One package of every component but the commands in bin/: a package of the games section keeps
# them in games/.
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_COMPONENTS_ALL Unspecified game_commands)
include(CPack)
