# Provides the SQLite amalgamation (sqlite3.c, sqlite3.h) for the Windows
# build, where SQLite is built from source as sqlite3.dll. The amalgamation is
# taken from the npm package better-sqlite3 (major version 12), which ships it
# as deps/sqlite3/. It is fetched once into the build folder at configure
# time; OBZ_SQLITE_AMALGAMATION_DIR may name a folder that already holds both
# files instead.
#
# Sets OBZ_SQLITE_DIR to the folder holding sqlite3.c and sqlite3.h.

set(OBZ_SQLITE_AMALGAMATION_DIR "" CACHE PATH "Folder with sqlite3.c and sqlite3.h (fetched with npm when empty)")
set(OBZ_SQLITE_NPM_PACKAGE "better-sqlite3@12" CACHE STRING "npm package that ships the SQLite amalgamation")

if(OBZ_SQLITE_AMALGAMATION_DIR)
  set(OBZ_SQLITE_DIR ${OBZ_SQLITE_AMALGAMATION_DIR})
else()
  set(fetch_dir ${CMAKE_BINARY_DIR}/_deps/sqlite-amalgamation)
  set(OBZ_SQLITE_DIR ${fetch_dir}/package/deps/sqlite3)
  if(NOT EXISTS ${OBZ_SQLITE_DIR}/sqlite3.c OR NOT EXISTS ${OBZ_SQLITE_DIR}/sqlite3.h)
    find_program(OBZ_NPM npm REQUIRED)
    file(REMOVE_RECURSE ${fetch_dir})
    file(MAKE_DIRECTORY ${fetch_dir})
    message(STATUS "Fetching the SQLite amalgamation: npm pack ${OBZ_SQLITE_NPM_PACKAGE}")
    execute_process(
      COMMAND ${OBZ_NPM} pack ${OBZ_SQLITE_NPM_PACKAGE} --silent --pack-destination ${fetch_dir}
      WORKING_DIRECTORY ${fetch_dir}
      OUTPUT_VARIABLE tarball OUTPUT_STRIP_TRAILING_WHITESPACE
      RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
      message(FATAL_ERROR "npm pack ${OBZ_SQLITE_NPM_PACKAGE} failed (${rc})")
    endif()
    file(GLOB tarball ${fetch_dir}/*.tgz)
    list(LENGTH tarball count)
    if(NOT count EQUAL 1)
      message(FATAL_ERROR "npm pack left no single tarball in ${fetch_dir}")
    endif()
    execute_process(
      COMMAND ${CMAKE_COMMAND} -E tar xzf ${tarball} package/deps/sqlite3/sqlite3.c package/deps/sqlite3/sqlite3.h
      WORKING_DIRECTORY ${fetch_dir}
      RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0 OR NOT EXISTS ${OBZ_SQLITE_DIR}/sqlite3.c)
      message(FATAL_ERROR "the tarball ${tarball} holds no deps/sqlite3/sqlite3.c")
    endif()
    file(REMOVE ${tarball})
  endif()
endif()

file(STRINGS ${OBZ_SQLITE_DIR}/sqlite3.h version_line REGEX "^#define SQLITE_VERSION +\"")
message(STATUS "SQLite amalgamation: ${OBZ_SQLITE_DIR} (${version_line})")
