# What an install gives its user to read and to start from, in the
# documentation folder (CMAKE_INSTALL_DOCDIR, share/doc/obzevevevuvad): the
# README, the changelog and the guides (under docs/, so that the README's
# links work there), with the licence and the third-party notices; and under
# examples/ the shell scripts, the import sample and a client project built
# with the CMake package. The licence and the notices install with the
# client's component, obzevevevuvad, the smallest install; the rest is the
# component doc.

# The example scripts that the shell's help names: where the install puts
# them, and the same folder seen from the installed programs.
set(OBZ_EXAMPLES_FOLDER ${CMAKE_INSTALL_FULL_DOCDIR}/examples)
file(RELATIVE_PATH OBZ_EXAMPLES_FROM_PROGRAM ${CMAKE_INSTALL_FULL_BINDIR} ${OBZ_EXAMPLES_FOLDER})

install(FILES LICENSE THIRD-PARTY-NOTICES.md DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT obzevevevuvad)
install(FILES README.md CHANGELOG.md DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT doc)
install(DIRECTORY docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs COMPONENT doc FILES_MATCHING PATTERN "*.md")
install(FILES examples/session.obz examples/import.obz examples/cities.txt
  DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples COMPONENT doc)
install(FILES examples/client/CMakeLists.txt examples/client/client.cpp
  DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples/client COMPONENT doc)
