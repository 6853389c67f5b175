# The runnable examples of the client guide (docs/clients.md), taken from the
# guide's own text so that what the tests build and run is what the reader
# sees. In the guide, a line
#     <!-- example: NAME -->
# right before a fenced code block makes that block the file NAME, and
#     <!-- output: NAME -->
# right before a block makes it the output that running NAME must print.
#
# obz_client_guide_examples(GUIDE OUT_DIR EXAMPLES_VAR) writes OUT_DIR/NAME
# and OUT_DIR/NAME.out, sets EXAMPLES_VAR to the example files, and
# reconfigures when the guide changes. A marker without a block after it, an
# unterminated block, or an output without its example stops the configure.

function(obz_client_guide_examples guide out_dir examples_var)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${guide})
  file(READ ${guide} text)
  file(MAKE_DIRECTORY ${out_dir})
  set(examples "")
  set(outputs "")
  set(marker_regex "<!-- (example|output): ([A-Za-z0-9_.-]+) -->\n```[A-Za-z0-9_+-]*\n")
  while(TRUE)
    string(REGEX MATCH "${marker_regex}" marker "${text}")
    if(NOT marker)
      break()
    endif()
    set(kind ${CMAKE_MATCH_1})
    set(name ${CMAKE_MATCH_2})
    string(FIND "${text}" "${marker}" at)
    string(LENGTH "${marker}" length)
    math(EXPR at "${at} + ${length}")
    string(SUBSTRING "${text}" ${at} -1 text)
    # The block ends at the first fence that starts a line.
    string(FIND "${text}" "\n```" end)
    if(text MATCHES "^```")
      set(end -1)
    elseif(end EQUAL -1)
      message(FATAL_ERROR "${guide}: the block of ${kind} ${name} has no closing fence")
    endif()
    math(EXPR end "${end} + 1")
    string(SUBSTRING "${text}" 0 ${end} body)
    string(SUBSTRING "${text}" ${end} -1 text)
    if(kind STREQUAL "example")
      set(file ${out_dir}/${name})
      list(APPEND examples ${file})
    else()
      set(file ${out_dir}/${name}.out)
      list(APPEND outputs ${name})
    endif()
    # Written through a copy that changes the file only when its text did,
    # so that an unchanged example is not rebuilt.
    file(WRITE ${file}.new "${body}")
    configure_file(${file}.new ${file} COPYONLY)
    file(REMOVE ${file}.new)
  endwhile()
  foreach(name IN LISTS outputs)
    if(NOT ${out_dir}/${name} IN_LIST examples)
      message(FATAL_ERROR "${guide}: output ${name} has no example ${name}")
    endif()
  endforeach()
  if(NOT examples)
    message(FATAL_ERROR "${guide} marks no example")
  endif()
  set(${examples_var} ${examples} PARENT_SCOPE)
endfunction()
