# tiermo_script_value(SCRIPT NAME VAR): VAR set to what the shell script SCRIPT
# (its path from the source root) assigns to NAME on a line NAME=VALUE of its
# own, so that a value the scripts and CMake share is written once; the
# configuration is made again when SCRIPT changes.
function(tiermo_script_value script name var)
  set(path "${CMAKE_CURRENT_FUNCTION_LIST_DIR}/../${script}")
  file(STRINGS "${path}" line REGEX "^ *${name}=[^ ]+$")
  if(NOT line)
    message(FATAL_ERROR "${script} defines no ${name}")
  endif()
  string(REGEX REPLACE "^ *${name}=" "" value "${line}")
  set(${var} "${value}" PARENT_SCOPE)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${path}")
endfunction()
