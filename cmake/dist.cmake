# The `dist` target: one zip per architecture with Tiermo.exe, the README (and
# its pictures) and the licence, the same bytes from the same commit.
#
# Included from the top-level CMakeLists.txt, this file defines the target; run
# with `cmake -P`, it is the step that builds the zip. Reproducible bytes need
# SOURCE_DATE_EPOCH set when configuring and building (scripts/dist.sh sets it
# from the commit): it removes the PE time stamp and dates every zip entry.

# Entries are dated 1980-01-01 (the earliest a zip can hold) without it.
set(TIERMO_DIST_DEFAULT_EPOCH 315532800)

if(CMAKE_SCRIPT_MODE_FILE)
  # Script mode: DIST_ZIP, DIST_STAGE, DIST_EPOCH, DIST_EXE, DIST_DOCS (files
  # put at the top of the zip, separated by "|") and DIST_IMAGES (folder kept
  # as docs/images).
  foreach(var DIST_ZIP DIST_STAGE DIST_EPOCH DIST_EXE DIST_DOCS DIST_IMAGES)
    if(NOT DEFINED ${var})
      message(FATAL_ERROR "dist.cmake: ${var} is not set")
    endif()
  endforeach()
  string(REPLACE "|" ";" docs "${DIST_DOCS}")

  file(REMOVE_RECURSE "${DIST_STAGE}")
  file(MAKE_DIRECTORY "${DIST_STAGE}/docs/images")
  set(entries Tiermo.exe)
  file(COPY_FILE "${DIST_EXE}" "${DIST_STAGE}/Tiermo.exe")
  foreach(doc IN LISTS docs)
    get_filename_component(name "${doc}" NAME)
    file(COPY_FILE "${doc}" "${DIST_STAGE}/${name}")
    list(APPEND entries ${name})
  endforeach()
  file(GLOB images RELATIVE "${DIST_IMAGES}" "${DIST_IMAGES}/*.png")
  foreach(image IN LISTS images)
    file(COPY_FILE "${DIST_IMAGES}/${image}" "${DIST_STAGE}/docs/images/${image}")
    list(APPEND entries docs/images/${image})
  endforeach()
  list(SORT entries)

  # Fixed modes and dates, whatever the umask and the build time were.
  foreach(entry IN LISTS entries)
    if(entry STREQUAL "Tiermo.exe")
      file(CHMOD "${DIST_STAGE}/${entry}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
           GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
    else()
      file(CHMOD "${DIST_STAGE}/${entry}" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ
           WORLD_READ)
    endif()
  endforeach()
  execute_process(COMMAND touch -h -d "@${DIST_EPOCH}" ${entries}
                  WORKING_DIRECTORY "${DIST_STAGE}" RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "dist.cmake: could not set the dates of the files")
  endif()

  # -X: no extra attributes (owner, extended times); -D: no folder entries;
  # UTC so that the zip's local times do not depend on the builder's zone.
  file(REMOVE "${DIST_ZIP}")
  execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC zip -X -D -q "${DIST_ZIP}" ${entries}
                  WORKING_DIRECTORY "${DIST_STAGE}" RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "dist.cmake: zip failed")
  endif()
  return()
endif()

find_program(TIERMO_ZIP zip)
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(dist_epoch "$ENV{SOURCE_DATE_EPOCH}")
else()
  set(dist_epoch ${TIERMO_DIST_DEFAULT_EPOCH})
  message(STATUS "SOURCE_DATE_EPOCH is not set: the `dist` zip will not be reproducible "
                 "(the program carries its link time)")
endif()

set(dist_name "Tiermo-${PROJECT_VERSION}-${CMAKE_SYSTEM_PROCESSOR}")
set(dist_zip "${CMAKE_BINARY_DIR}/dist/${dist_name}.zip")
set(dist_docs "${CMAKE_SOURCE_DIR}/README.md|${CMAKE_SOURCE_DIR}/LICENSE")
file(GLOB dist_images CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/docs/images/*.png")

if(TIERMO_ZIP)
  # No zip of a program that would not load, or not run, on the oldest
  # Windows and processor its build names.
  add_custom_command(
    OUTPUT "${dist_zip}"
    COMMAND ${TIERMO_MACHINE_CHECK}
    COMMAND ${CMAKE_COMMAND} "-DDIST_ZIP=${dist_zip}"
            "-DDIST_STAGE=${CMAKE_BINARY_DIR}/dist/${dist_name}"
            "-DDIST_EPOCH=${dist_epoch}" "-DDIST_EXE=$<TARGET_FILE:Tiermo>"
            "-DDIST_DOCS=${dist_docs}" "-DDIST_IMAGES=${CMAKE_SOURCE_DIR}/docs/images"
            -P "${CMAKE_CURRENT_LIST_FILE}"
    DEPENDS Tiermo "${CMAKE_SOURCE_DIR}/README.md" "${CMAKE_SOURCE_DIR}/LICENSE"
            ${dist_images} "${CMAKE_CURRENT_LIST_FILE}" ${TIERMO_MACHINE_CHECK_FILES}
    COMMENT "Checking Tiermo.exe, packing ${dist_name}.zip"
    VERBATIM)
  add_custom_target(dist DEPENDS "${dist_zip}")
else()
  add_custom_target(dist COMMAND ${CMAKE_COMMAND} -E echo "dist needs the zip program" COMMAND false)
endif()
