# Man pages of the command-line tools, made at build time by help2man from
# each tool's --help and --version, so the pages say what the tools say.
# They land in <build>/man and install under share/man/man1, as the install
# component "man". Without help2man (Debian's help2man) the tools build
# without pages.
include(GNUInstallDirs)
find_program(OBZ_HELP2MAN help2man)
if(NOT OBZ_HELP2MAN)
  message(STATUS "help2man not found: the man pages are not built")
else()
  add_custom_target(obz-man-pages ALL)
endif()
set(OBZ_MAN_DIR ${PROJECT_BINARY_DIR}/man CACHE INTERNAL "Where the tools' man pages are built")

# obz_man_page(TARGET DESCRIPTION): the page of the tool TARGET, whose NAME
# line reads "TARGET - DESCRIPTION".
function(obz_man_page target description)
  if(NOT OBZ_HELP2MAN)
    return()
  endif()
  set(page ${OBZ_MAN_DIR}/${target}.1)
  add_custom_command(OUTPUT ${page}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${OBZ_MAN_DIR}
    COMMAND ${OBZ_HELP2MAN} --no-info --name=${description} --output=${page} $<TARGET_FILE:${target}>
    DEPENDS ${target}
    COMMENT "Man page of ${target}"
    VERBATIM)
  add_custom_target(${target}-man DEPENDS ${page})
  add_dependencies(obz-man-pages ${target}-man)
  install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT man)
endfunction()
