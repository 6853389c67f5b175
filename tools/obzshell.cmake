# obzshell: runs method calls of the component, one a line, from a script or
# the terminal. A client program: <OBZeveVevuVAD.h>, the event sink base of
# the client kit (obzkit) and libcomrt.

# The line parser, free of COM, in a library of its own for its tests.
add_library(obzshellparse STATIC ${CMAKE_CURRENT_LIST_DIR}/ShellLine.cpp ${CMAKE_CURRENT_LIST_DIR}/ShellCommand.cpp)
target_compile_options(obzshellparse PRIVATE ${OBZ_WARNINGS})
target_include_directories(obzshellparse PUBLIC ${PROJECT_SOURCE_DIR})

file(GLOB obzshell_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/ObzShell*.cpp)
add_executable(obzshell ${obzshell_sources})
target_compile_options(obzshell PRIVATE ${OBZ_WARNINGS})
target_include_directories(obzshell PRIVATE ${PROJECT_SOURCE_DIR}/include)
target_link_libraries(obzshell PRIVATE obzshellparse obzkit)
set_target_properties(obzshell PROPERTIES INSTALL_RPATH "$ORIGIN/../lib")
install(TARGETS obzshell RUNTIME DESTINATION bin)
