# obz_idl_text(<target>): gives <target> the header IdlText.h, whose constant
# kIdlText holds server/OBZeveVevuVAD.idl as it stood at configure time, so a
# test reads the IDL on either target without finding the source tree at run
# time. Editing the IDL re-runs the configure step.
function(obz_idl_text target)
  set(idl ${PROJECT_SOURCE_DIR}/server/OBZeveVevuVAD.idl)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${idl})
  file(READ ${idl} obz_idl_content)
  set(dir ${CMAKE_BINARY_DIR}/generated/idltext)
  file(CONFIGURE OUTPUT ${dir}/IdlText.h @ONLY CONTENT
"// Generated from server/OBZeveVevuVAD.idl by cmake/IdlText.cmake.
#pragma once
inline constexpr char kIdlText[] = R\"OBZIDL(@obz_idl_content@)OBZIDL\";
")
  target_include_directories(${target} PRIVATE ${dir})
endfunction()
