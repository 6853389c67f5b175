# obz_doc_table(<target> <document> <name>): gives <target> the header
# <name>.h, whose constant k<name> holds the part of <document> (relative to
# the source tree) between the lines "<!-- <name>: begin -->" and
# "<!-- <name>: end -->" as it stood at configure time, so that a test holds
# the component to the table that the documentation shows, on either target,
# without finding the source tree at run time. Editing the document re-runs
# the configure step.
function(obz_doc_table target document name)
  set(doc ${PROJECT_SOURCE_DIR}/${document})
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${doc})
  file(READ ${doc} text)
  set(begin "<!-- ${name}: begin -->")
  set(end "<!-- ${name}: end -->")
  string(FIND "${text}" "${begin}" from)
  string(FIND "${text}" "${end}" to)
  if(from EQUAL -1 OR to EQUAL -1 OR to LESS from)
    message(FATAL_ERROR "${document} has no part between \"${begin}\" and \"${end}\"")
  endif()
  string(LENGTH "${begin}" skip)
  math(EXPR from "${from} + ${skip}")
  math(EXPR length "${to} - ${from}")
  string(SUBSTRING "${text}" ${from} ${length} obz_doc_part)
  set(dir ${CMAKE_BINARY_DIR}/generated/doctable)
  file(CONFIGURE OUTPUT ${dir}/${name}.h @ONLY CONTENT
"// Generated from ${document} by cmake/DocTable.cmake.
#pragma once
inline constexpr char k${name}[] = R\"OBZDOC(@obz_doc_part@)OBZDOC\";
")
  target_include_directories(${target} PRIVATE ${dir})
endfunction()
