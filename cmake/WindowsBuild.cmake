# The Windows build, for one bitness: OBZeveVevuVAD64.dll with
# cmake/mingw-w64-x86_64.cmake, OBZeveVevuVAD32.dll with
# cmake/mingw-w64-i686.cmake; each over the system's COM runtime, OLE
# Automation and Win32, with its own sqlite3.dll built from the SQLite
# amalgamation and its own type library, the portable GoogleTest suites and
# the C++ clients that scripts/windows-test.sh runs under Wine.
# Included by the top-level CMakeLists.txt instead of the Linux targets.

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(OBZ_WIN_BITS 64)
  set(obz_arch_dir x64)   # the install folder's subfolder for this bitness
else()
  set(OBZ_WIN_BITS 32)
  set(obz_arch_dir x86)
endif()
set(OBZ_DLL OBZeveVevuVAD${OBZ_WIN_BITS})

set(OBZ_VERSION_DEFS
  OBZ_VERSION_MAJOR=${PROJECT_VERSION_MAJOR} OBZ_VERSION_MINOR=${PROJECT_VERSION_MINOR}
  OBZ_VERSION_PATCH=${PROJECT_VERSION_PATCH} OBZ_VERSION_BUILD=${PROJECT_VERSION_TWEAK}
  OBZ_VERSION_TEXT="${PROJECT_VERSION}")
set(OBZ_WIN_SYSTEM_LIBS ole32 oleaut32 uuid advapi32 version)

# Every program and library lands in one folder, so that Wine finds
# sqlite3.dll beside the programs that load it.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
# The C and C++ runtimes (and winpthread) go into each module: nothing but
# system DLLs and sqlite3.dll is needed at run time.
add_link_options(-static -static-libgcc -static-libstdc++)
# Target Windows 7 and later APIs.
add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601 UNICODE _UNICODE)

# sqlite3.dll from the amalgamation.
include(${CMAKE_CURRENT_LIST_DIR}/SqliteAmalgamation.cmake)
add_library(sqlite3 SHARED ${OBZ_SQLITE_DIR}/sqlite3.c)
set_target_properties(sqlite3 PROPERTIES PREFIX "" OUTPUT_NAME sqlite3 C_VISIBILITY_PRESET default)
target_compile_definitions(sqlite3 PRIVATE "SQLITE_API=__declspec(dllexport)" SQLITE_THREADSAFE=1
  SQLITE_DEFAULT_FOREIGN_KEYS=0 SQLITE_OMIT_DEPRECATED=0)
target_compile_definitions(sqlite3 INTERFACE "SQLITE_API=__declspec(dllimport)")
target_include_directories(sqlite3 SYSTEM PUBLIC ${OBZ_SQLITE_DIR})
target_compile_options(sqlite3 PRIVATE -O2 -w)

# The component's layers, one static library per folder.
function(obz_win_library name folder)
  file(GLOB srcs CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${folder}/*.cpp)
  add_library(${name} STATIC ${srcs} ${ARGN})
  target_compile_options(${name} PRIVATE ${OBZ_WARNINGS})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/include ${PROJECT_SOURCE_DIR})
endfunction()

obz_win_library(obzcom com)
# Type-library registration and type information go through the system's
# OLE Automation; the other bitness's registration is looked up in the
# registry's other view.
get_target_property(obz_com_sources obzcom SOURCES)
list(FILTER obz_com_sources EXCLUDE REGEX "/com/(TypeLibRegistrar|TypeInfoSource|SharedRegistration)\\.cpp$")
set_property(TARGET obzcom PROPERTY SOURCES ${obz_com_sources} ${PROJECT_SOURCE_DIR}/server/win/TypeLibRegistrar.cpp
  ${PROJECT_SOURCE_DIR}/server/win/TypeInfoSource.cpp ${PROJECT_SOURCE_DIR}/server/win/SharedRegistration.cpp)
target_link_libraries(obzcom PUBLIC ${OBZ_WIN_SYSTEM_LIBS})
obz_win_library(obzsqlite sqlite)
target_link_libraries(obzsqlite PUBLIC obzcom sqlite3)
obz_win_library(obztextfile textfile)
target_link_libraries(obztextfile PUBLIC obzcom)
obz_win_library(obzresults results)
target_link_libraries(obzresults PUBLIC obzcom)
obz_win_library(obzimport import)
target_link_libraries(obzimport PUBLIC obzsqlite obztextfile obzcom sqlite3)
obz_win_library(obzfacade facade)
target_link_libraries(obzfacade PUBLIC obzimport obzresults obzsqlite obztextfile obzcom sqlite3)
target_compile_definitions(obzfacade PRIVATE ${OBZ_VERSION_DEFS})
# The server folder's portable sources with the Windows registry-script
# loader (REGISTRY resources instead of the generated string constants).
obz_win_library(obzserver server ${PROJECT_SOURCE_DIR}/server/win/RegistryScripts.cpp)
target_link_libraries(obzserver PUBLIC obzfacade obzresults obzcom)
target_compile_definitions(obzserver PRIVATE ${OBZ_VERSION_DEFS})

# The type library, compiled from the IDL by widl with Wine's system IDL
# files (libwine-dev) and Wine's stdole2.tlb for importlib.
find_program(OBZ_WIDL NAMES widl x86_64-w64-mingw32-widl REQUIRED)
find_path(OBZ_WINE_IDL_DIR oaidl.idl PATHS /usr/include/wine/wine/windows /usr/include/wine/windows
  NO_CMAKE_FIND_ROOT_PATH REQUIRED)
# The library only names stdole2's types, so either bitness's copy will do.
find_path(OBZ_STDOLE2_DIR stdole2.tlb
  PATHS /usr/lib/x86_64-linux-gnu/wine/x86_64-windows /usr/lib/wine/x86_64-windows /usr/lib64/wine/x86_64-windows
        /usr/lib/i386-linux-gnu/wine/i386-windows /usr/lib/wine/i386-windows
  NO_CMAKE_FIND_ROOT_PATH REQUIRED)
set(obz_gen ${CMAKE_BINARY_DIR}/generated)
file(MAKE_DIRECTORY ${obz_gen})
add_custom_command(OUTPUT ${obz_gen}/OBZeveVevuVAD.tlb
  COMMAND ${OBZ_WIDL} --win${OBZ_WIN_BITS} -t -I ${OBZ_WINE_IDL_DIR} -L ${OBZ_STDOLE2_DIR}
          -o ${obz_gen}/OBZeveVevuVAD.tlb ${PROJECT_SOURCE_DIR}/server/OBZeveVevuVAD.idl
  DEPENDS ${PROJECT_SOURCE_DIR}/server/OBZeveVevuVAD.idl
  COMMENT "Compiling the type library OBZeveVevuVAD.tlb")
add_custom_target(obz_typelib DEPENDS ${obz_gen}/OBZeveVevuVAD.tlb)

# Version numbers for the VERSIONINFO resource.
math(EXPR obz_build "${PROJECT_VERSION_TWEAK}")
file(CONFIGURE OUTPUT ${obz_gen}/ObzVersion.h CONTENT
"#define OBZ_RC_VERSION ${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},${obz_build}
#define OBZ_RC_VERSION_TEXT \"${PROJECT_VERSION}\"
#define OBZ_RC_FILE_NAME \"${OBZ_DLL}.dll\"
")
set(obz_win ${PROJECT_SOURCE_DIR}/server/win)
set_source_files_properties(${obz_win}/OBZeveVevuVAD.rc PROPERTIES OBJECT_DEPENDS
  "${obz_gen}/OBZeveVevuVAD.tlb;${PROJECT_SOURCE_DIR}/server/OBZeveVevuVAD.rgs;${PROJECT_SOURCE_DIR}/server/ZeveVevuVAD.rgs;${PROJECT_SOURCE_DIR}/server/RecordSet.rgs;${PROJECT_SOURCE_DIR}/server/RecordItem.rgs")
set_source_files_properties(${obz_win}/VersionInfo.rc PROPERTIES OBJECT_DEPENDS ${obz_gen}/ObzVersion.h)
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -I ${obz_gen} -I ${PROJECT_SOURCE_DIR}/server")

# The in-process server. Its only exports are the five entry points of the
# .def file; on 32-bit Windows they are __stdcall functions, whose linker
# names carry the size of their arguments ("@12"), exported under their
# plain names.
if(OBZ_WIN_BITS EQUAL 32)
  set(OBZ_AT_GETCLASSOBJECT "=DllGetClassObject@12")
  set(OBZ_AT_CANUNLOADNOW "=DllCanUnloadNow@0")
  set(OBZ_AT_REGISTERSERVER "=DllRegisterServer@0")
  set(OBZ_AT_UNREGISTERSERVER "=DllUnregisterServer@0")
  set(OBZ_AT_INSTALL "=DllInstall@8")
endif()
configure_file(${obz_win}/OBZeveVevuVAD.def.in ${obz_gen}/${OBZ_DLL}.def @ONLY)
add_library(${OBZ_DLL} SHARED ${obz_win}/OBZeveVevuVAD.rc ${obz_win}/VersionInfo.rc ${obz_gen}/${OBZ_DLL}.def)
add_dependencies(${OBZ_DLL} obz_typelib)
set_target_properties(${OBZ_DLL} PROPERTIES PREFIX "" OUTPUT_NAME ${OBZ_DLL})
# A linker warning (such as an export resolved by stdcall fixup) fails the build.
target_link_options(${OBZ_DLL} PRIVATE -Wl,--fatal-warnings)
target_link_libraries(${OBZ_DLL} PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,obzserver>"
  obzfacade obzimport obzresults obzsqlite obztextfile obzcom sqlite3 ${OBZ_WIN_SYSTEM_LIBS})

# GoogleTest, built from Debian's sources (libgtest-dev) for this target.
set(OBZ_GTEST_SOURCE_DIR /usr/src/googletest/googletest CACHE PATH "GoogleTest sources")
if(BUILD_TESTING AND EXISTS ${OBZ_GTEST_SOURCE_DIR}/CMakeLists.txt)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${OBZ_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

  # One GoogleTest program per portable folder, run under Wine by
  # scripts/windows-test.sh: every .cpp of the folder, or the SOURCES given.
  function(obz_win_test_suite folder)
    cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "SOURCES;LIBRARIES")
    if(arg_SOURCES)
      list(TRANSFORM arg_SOURCES PREPEND ${PROJECT_SOURCE_DIR}/tests/${folder}/ OUTPUT_VARIABLE srcs)
    else()
      file(GLOB srcs CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/${folder}/*.cpp)
    endif()
    if(NOT srcs)
      return()
    endif()
    set(name test_${folder})
    add_executable(${name} ${srcs} ${obz_win}/VersionInfo.rc)
    # GCC 12's libstdc++ raises a false -Wrestrict inside std::string's
    # operator+ at -O2 (GCC bug 105329).
    target_compile_options(${name} PRIVATE ${OBZ_WARNINGS} -Wno-restrict)
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
    target_link_libraries(${name} PRIVATE ${arg_LIBRARIES} gtest gtest_main)
    target_compile_definitions(${name} PRIVATE ${OBZ_VERSION_DEFS})
  endfunction()
  # The client kit compiles for Windows clients too.
  obz_win_test_suite(obzkit LIBRARIES obzcom)
  foreach(folder IN ITEMS sqlite textfile results)
    obz_win_test_suite(${folder} LIBRARIES obz${folder})
  endforeach()
  target_sources(test_textfile PRIVATE ${PROJECT_SOURCE_DIR}/tests/sqlite/TempFolder.cpp)
  # The engine tests and the component object's tests clear the machine's
  # default data folder and HKLM keys, and so run only under Wine.
  obz_win_test_suite(facade LIBRARIES obzfacade)
  target_sources(test_facade PRIVATE ${PROJECT_SOURCE_DIR}/tests/sqlite/FaultVfs.cpp
    ${PROJECT_SOURCE_DIR}/tests/sqlite/CrashRecorder.cpp)
  obz_win_test_suite(import LIBRARIES obzfacade)
  target_sources(test_import PRIVATE ${PROJECT_SOURCE_DIR}/tests/facade/FacadeFixture.cpp)
  include(${CMAKE_CURRENT_LIST_DIR}/IdlText.cmake)
  obz_idl_text(test_facade)
  include(${CMAKE_CURRENT_LIST_DIR}/DocTable.cmake)
  obz_doc_table(test_facade docs/api.md FailureTable)
endif()

# The C++ clients that scripts/windows-test.sh runs against the registered
# component: type information, and a single-threaded-apartment client (on
# the client kit) whose calls and events cross apartments.
function(obz_win_client name source)
  add_executable(${name} ${PROJECT_SOURCE_DIR}/tests/windows/${source})
  target_compile_options(${name} PRIVATE ${OBZ_WARNINGS})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/include ${PROJECT_SOURCE_DIR})
  target_compile_definitions(${name} PRIVATE OBZ_VERSION_TEXT="${PROJECT_VERSION}")
  target_link_libraries(${name} PRIVATE ${OBZ_WIN_SYSTEM_LIBS} ${ARGN})
endfunction()
obz_win_client(obz-typeinfo-client TypeInfoClient.cpp)
obz_win_client(obz-sta-client StaClient.cpp user32)

# The C++ example of the client guide, built from the guide's own text
# (cmake/ClientGuide.cmake); scripts/windows-test.sh runs it and compares its
# output with the guide's.
include(${CMAKE_CURRENT_LIST_DIR}/ClientGuide.cmake)
set(obz_guide_dir ${CMAKE_BINARY_DIR}/guide)
obz_client_guide_examples(${PROJECT_SOURCE_DIR}/docs/clients.md ${obz_guide_dir} obz_guide_examples)
add_executable(obz-guide-example ${obz_guide_dir}/guide.cpp)
target_compile_options(obz-guide-example PRIVATE ${OBZ_WARNINGS})
# The installed include folder's layout: the client header and obzkit/.
target_include_directories(obz-guide-example PRIVATE ${PROJECT_SOURCE_DIR}/include ${PROJECT_SOURCE_DIR})
target_link_libraries(obz-guide-example PRIVATE ole32 oleaut32 uuid)

# The install folder: what a Windows user receives, ready to register
# (install.cmd / uninstall.cmd at the top), this bitness's DLL with its
# sqlite3.dll and type library in x64\ or x86\, the client guide with its
# examples, the API reference, and the header and client kit for C++
# clients. Installing the build of the other bitness into the same folder
# adds the other subfolder (scripts/windows-package.sh). Without --prefix it
# is <build>/OBZeveVevuVAD.
if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT)
  set(CMAKE_INSTALL_PREFIX ${CMAKE_BINARY_DIR}/OBZeveVevuVAD CACHE PATH "Install folder" FORCE)
endif()
# Batch files take CR LF line ends: cmd.exe misreads labels in files
# without them.
foreach(script IN ITEMS install uninstall)
  configure_file(${obz_win}/${script}.cmd ${obz_gen}/${script}.cmd @ONLY NEWLINE_STYLE CRLF)
endforeach()
install(FILES $<TARGET_FILE:${OBZ_DLL}> $<TARGET_FILE:sqlite3> ${obz_gen}/OBZeveVevuVAD.tlb
  DESTINATION ${obz_arch_dir})
install(FILES ${obz_gen}/install.cmd ${obz_gen}/uninstall.cmd ${PROJECT_SOURCE_DIR}/docs/clients.md
  ${PROJECT_SOURCE_DIR}/docs/api.md ${PROJECT_SOURCE_DIR}/docs/behaviour.md
  DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/include/OBZeveVevuVAD.h DESTINATION include)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/obzkit/ DESTINATION include/obzkit FILES_MATCHING PATTERN "*.h")
install(FILES ${obz_guide_examples} DESTINATION examples)
