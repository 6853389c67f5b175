# obzshell: runs method calls of the component, one a line, from a script or
# the terminal. A client program: <OBZeveVevuVAD.h>, the event sink base of
# the client kit and libcomrt (OBZeveVevuVAD::client). At a terminal it edits lines with libedit
# (Debian's libedit-dev) when that is found; without it the shell still
# builds, with a plain prompt. OBZ_SHELL_LINE_EDITING=OFF builds it so anyway.
option(OBZ_SHELL_LINE_EDITING "Line editing in obzshell through libedit, when found" ON)
set(obzshell_libedit FALSE)
if(OBZ_SHELL_LINE_EDITING)
  pkg_check_modules(LIBEDIT IMPORTED_TARGET libedit)
  if(LIBEDIT_FOUND)
    set(obzshell_libedit TRUE)
  else()
    message(STATUS "libedit not found: obzshell is built without line editing")
  endif()
endif()
# The tests of the terminal session look here for what to expect.
set(OBZ_SHELL_HAS_LIBEDIT ${obzshell_libedit} PARENT_SCOPE)

# The line parser and the help, free of COM calls, in a library of their own
# for their tests. The help reads the component's dispatch tables.
add_library(obzshellparse STATIC ${CMAKE_CURRENT_LIST_DIR}/ShellLine.cpp ${CMAKE_CURRENT_LIST_DIR}/ShellCommand.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ShellHelp.cpp ${CMAKE_CURRENT_LIST_DIR}/ShellMethodGuide.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ShellTable.cpp ${CMAKE_CURRENT_LIST_DIR}/ShellCompletion.cpp)
target_compile_options(obzshellparse PRIVATE ${OBZ_WARNINGS})
target_include_directories(obzshellparse PUBLIC ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/include)
target_link_libraries(obzshellparse PUBLIC comrt)
if(obzshell_libedit)
  target_compile_definitions(obzshellparse PUBLIC OBZ_SHELL_LINE_EDITING)
endif()

file(GLOB obzshell_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/ObzShell*.cpp)
add_executable(obzshell ${obzshell_sources} ${CMAKE_CURRENT_LIST_DIR}/InstalledPath.cpp)
target_compile_options(obzshell PRIVATE ${OBZ_WARNINGS})
target_compile_definitions(obzshell PRIVATE ${OBZ_VERSION_DEFS} OBZ_EXAMPLES_FOLDER="${OBZ_EXAMPLES_FOLDER}"
  OBZ_EXAMPLES_FROM_PROGRAM="${OBZ_EXAMPLES_FROM_PROGRAM}")
target_include_directories(obzshell PRIVATE ${PROJECT_SOURCE_DIR}/include)
target_link_libraries(obzshell PRIVATE obzshellparse OBZeveVevuVAD::client)
if(obzshell_libedit)
  target_link_libraries(obzshell PRIVATE PkgConfig::LIBEDIT)
endif()
set_target_properties(obzshell PROPERTIES INSTALL_RPATH "${OBZ_PROGRAM_RPATH}")
install(TARGETS obzshell RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
