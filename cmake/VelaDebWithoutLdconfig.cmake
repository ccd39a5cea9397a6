# Run by CPack once it has made the Debian package (CPACK_POST_BUILD_SCRIPTS). CPack gives a
# package holding a shared library anywhere under /usr/lib a postinst and a postrm that run
# ldconfig, also when the library lies in a private folder that the dynamic linker never searches,
# as the companion library does (lib/velaplay/, found from the player's own folder). The package
# is made again without those two scripts; a maintainer script of any other content is kept.
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  set(tree ${package}.tree)
  file(REMOVE_RECURSE ${tree})
  execute_process(COMMAND dpkg-deb --raw-extract ${package} ${tree} COMMAND_ERROR_IS_FATAL ANY)
  foreach(script postinst postrm)
    if(EXISTS ${tree}/DEBIAN/${script})
      file(READ ${tree}/DEBIAN/${script} text)
      if(text MATCHES "^#!/bin/sh\n+set -e\n+if \\[ \"\\$1\" = \"[a-z]+\" \\]; then\n\tldconfig\nfi\n*$")
        file(REMOVE ${tree}/DEBIAN/${script})
      endif()
    endif()
  endforeach()
  execute_process(COMMAND dpkg-deb --root-owner-group --build ${tree} ${package} OUTPUT_QUIET
                  COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE ${tree})
endforeach()
