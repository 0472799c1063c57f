# Building installers: the stub linked with a payload of packages.
#
# kestrelyn_add_installer(<name> PACKAGES <file:arch[:key=value...]>...
#                         [COUNT <n>] [NO_MANIFEST] [MAGIC <text>] [MANIFEST_SIZE <n>]
#                         [DECLARED_SIZE <resource>=<n>...]
#                         [EXCLUDE_FROM_ALL])
#   An installer executable <name>.exe: the stub's objects, linked without the
#   C runtime, with the packages as raw-data resources.  A package is its file
#   (relative to the current source directory, or absolute) and its
#   architecture (1 any, 2 x86, 3 amd64), optionally followed by
#   name=<extracted file name>, res=<blob resource name>, header-size=<bytes>,
#   raw-header=<file>, unsafe-name=<percent-encoded name> or no-blob (see tools/mkpayload.py).
#   COUNT, MAGIC, MANIFEST_SIZE and NO_MANIFEST override the manifest, and DECLARED_SIZE the
#   size that a resource's entry declares, for deliberately broken payloads.
#
# kestrelyn_add_payload(<target> PACKAGES ... [same options])
#   Adds such a payload to any Windows executable target (the stub's tests
#   use it to read packages from their own image).

set(KESTRELYN_PAYLOAD_TOOL ${CMAKE_CURRENT_LIST_DIR}/../tools/mkpayload.py)

function(kestrelyn_add_payload target)
  cmake_parse_arguments(ARG "NO_MANIFEST" "COUNT;MAGIC;MANIFEST_SIZE" "PACKAGES;DECLARED_SIZE" ${ARGN})
  set(work ${CMAKE_CURRENT_BINARY_DIR}/${target}.payload)
  set(rc ${work}/payload.rc)

  set(options)
  if(ARG_NO_MANIFEST)
    list(APPEND options --no-manifest)
  endif()
  if(DEFINED ARG_COUNT)
    list(APPEND options --count ${ARG_COUNT})
  endif()
  if(DEFINED ARG_MAGIC)
    list(APPEND options --magic ${ARG_MAGIC})
  endif()
  if(DEFINED ARG_MANIFEST_SIZE)
    list(APPEND options --manifest-size ${ARG_MANIFEST_SIZE})
  endif()

  set(specs)
  set(files)
  set(inputs)
  foreach(spec IN LISTS ARG_PACKAGES)
    string(FIND "${spec}" ":" colon)
    if(colon LESS 1)
      message(FATAL_ERROR "kestrelyn_add_payload(${target}): '${spec}' is not file:arch")
    endif()
    string(SUBSTRING "${spec}" 0 ${colon} file)
    string(SUBSTRING "${spec}" ${colon} -1 rest)
    cmake_path(ABSOLUTE_PATH file BASE_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR} NORMALIZE)
    list(APPEND specs "${file}${rest}")
    if(NOT rest MATCHES ":no-blob")
      list(APPEND files ${file})
    endif()
    if(rest MATCHES ":raw-header=([^:]+)")
      list(APPEND inputs ${CMAKE_MATCH_1})
    endif()
  endforeach()

  add_custom_command(
    OUTPUT ${rc}
    COMMAND ${Python3_EXECUTABLE} ${KESTRELYN_PAYLOAD_TOOL} rc --rc ${rc} --work-dir ${work} ${options} -- ${specs}
    DEPENDS ${KESTRELYN_PAYLOAD_TOOL} ${files} ${inputs}
    COMMENT "Payload of ${target}"
    VERBATIM)
  # The resource compiler reads the package files: they are its inputs too.
  set_source_files_properties(${rc} PROPERTIES GENERATED TRUE OBJECT_DEPENDS "${files}")
  target_sources(${target} PRIVATE ${rc})
  set(sizes)
  foreach(size IN LISTS ARG_DECLARED_SIZE)
    list(APPEND sizes --size ${size})
  endforeach()
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${Python3_EXECUTABLE} ${KESTRELYN_PAYLOAD_TOOL} codepage $<TARGET_FILE:${target}> ${sizes}
    VERBATIM)
endfunction()

function(kestrelyn_add_installer name)
  cmake_parse_arguments(ARG "EXCLUDE_FROM_ALL" "" "" ${ARGN})
  if(ARG_EXCLUDE_FROM_ALL)
    set(exclude EXCLUDE_FROM_ALL)
  endif()
  add_executable(${name} WIN32 ${exclude} $<TARGET_OBJECTS:QornStubCore>)
  zelk_link_nocrt(${name})
  zelk_link_comctl32_delay(${name})
  # Sections at page boundaries in the file too: the loader can then map the
  # payload as it is needed instead of reading all of it at start-up.
  target_link_options(${name} PRIVATE -mwindows -Wl,--file-alignment,0x1000)
  kestrelyn_add_payload(${name} ${ARG_UNPARSED_ARGUMENTS})
endfunction()
