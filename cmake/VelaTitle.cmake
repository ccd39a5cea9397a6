find_package(Python3 REQUIRED COMPONENTS Interpreter)

# Packs the title described by the JSON files of Source (pages and project, tools/vpage.py) into
# Out/game.dat with its install set Out/install.dat beside it. A copy of the install set travels
# inside the archive, so that the archive appended to the player is a whole installation by
# itself. Makes the target Name, built with ALL, whose property VELA_TITLE_FOLDER is Out.
# FILES names further files (made by the caller's own rules, say) that go into the archive
# beside the pages under their own names.
function(vela_pack_title Name Source Out)
  cmake_parse_arguments(PARSE_ARGV 3 arg "" "" FILES)
  file(GLOB descriptions CONFIGURE_DEPENDS ${Source}/*.json)
  # Only what goes into the archive, kept out of the title's folder (the player searches that
  # folder and every folder below it for pixel fonts).
  set(content ${CMAKE_BINARY_DIR}/CMakeFiles/${Name}-content)
  set(vpage ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tools/vpage.py)
  set(copy_files)
  if(arg_FILES)
    set(copy_files COMMAND ${CMAKE_COMMAND} -E copy ${arg_FILES} ${content})
  endif()
  add_custom_command(
    OUTPUT ${Out}/game.dat ${Out}/install.dat
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${content}
    COMMAND ${vpage} title ${Source} ${content} --vexpr $<TARGET_FILE:vexpr>
    COMMAND ${vpage} install ${Source}/project.json ${content}/install.dat
    ${copy_files}
    COMMAND $<TARGET_FILE:vfpack> pack ${Out}/game.dat ${content}
    COMMAND ${CMAKE_COMMAND} -E copy ${content}/install.dat ${Out}/install.dat
    DEPENDS ${descriptions} ${arg_FILES} ${CMAKE_SOURCE_DIR}/tools/vpage.py ${CMAKE_SOURCE_DIR}/tools/nxcompile.py
            vexpr vfpack
    COMMENT "Packing the title ${Name}"
    VERBATIM)
  add_custom_target(${Name} ALL DEPENDS ${Out}/game.dat ${Out}/install.dat)
  set_target_properties(${Name} PROPERTIES VELA_TITLE_FOLDER ${Out})
endfunction()
