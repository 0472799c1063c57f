# Building installers: the stub linked with a payload of packages.
#
# kestrelyn_add_installer(<name> PACKAGES <file:arch[:key=value...]>...
#                         [COUNT <n>] [NO_MANIFEST] [MAGIC <text>] [MANIFEST_SIZE <n>]
#                         [DECLARED_SIZE <resource>=<n>...]
#                         [CERT <file.der>] [EXCLUDE_FROM_ALL])
#   An installer executable <name>.exe: the stub's objects, linked without the
#   C runtime, with the packages as raw-data resources.  A package is its file
#   (relative to the current source directory, or absolute) and its
#   architecture (1 any, 2 x86, 3 amd64), optionally followed by
#   name=<extracted file name>, res=<blob resource name>, header-size=<bytes>,
#   raw-header=<file>, unsafe-name=<percent-encoded name> or no-blob (see tools/mkpayload.py).
#   COUNT, MAGIC, MANIFEST_SIZE and NO_MANIFEST override the manifest, and DECLARED_SIZE the
#   size that a resource's entry declares, for deliberately broken payloads.
#   CERT names the publisher's DER certificate for this installer (default:
#   KESTRELYN_CERT, see below).
#
# kestrelyn_add_cert(<target> [CERT <file.der>])
#   Gives a target of the stub's objects its certificate: the raw-data
#   resource "CERT" with the DER file's bytes.
#
# KESTRELYN_CERT (cache variable): the publisher's DER X.509 code-signing
#   certificate that silent runs add to the trusted publishers.  Empty: the
#   build makes a self-signed development certificate with openssl, once per
#   build tree, and says so.
#
# kestrelyn_add_payload(<target> PACKAGES ... [same options])
#   Adds such a payload to any Windows executable target (the stub's tests
#   use it to read packages from their own image).

set(KESTRELYN_PAYLOAD_TOOL ${CMAKE_CURRENT_LIST_DIR}/../tools/mkpayload.py)
set(KESTRELYN_CERT_RC_TOOL ${CMAKE_CURRENT_LIST_DIR}/../tools/gen-cert-rc.py)
set(KESTRELYN_DEV_CERT_TOOL ${CMAKE_CURRENT_LIST_DIR}/../tools/make-dev-cert.sh)
set(KESTRELYN_CERT "" CACHE FILEPATH "The publisher's DER code-signing certificate (empty: a development one)")

# The certificate of installers that name none: KESTRELYN_CERT, or the
# development certificate of this build tree, made on first use.
function(kestrelyn_default_cert var)
  if(KESTRELYN_CERT)
    cmake_path(ABSOLUTE_PATH KESTRELYN_CERT BASE_DIRECTORY ${CMAKE_SOURCE_DIR} NORMALIZE OUTPUT_VARIABLE cert)
    if(NOT EXISTS ${cert})
      message(FATAL_ERROR "KESTRELYN_CERT: ${cert} does not exist")
    endif()
    set(${var} ${cert} PARENT_SCOPE)
    return()
  endif()
  set(cert ${CMAKE_BINARY_DIR}/kestrelyn-dev-cert/publisher.der)
  if(NOT EXISTS ${cert})
    execute_process(COMMAND bash ${KESTRELYN_DEV_CERT_TOOL} ${CMAKE_BINARY_DIR}/kestrelyn-dev-cert
      RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
      message(FATAL_ERROR "Could not make the development certificate (openssl)")
    endif()
  endif()
  get_property(told GLOBAL PROPERTY KESTRELYN_DEV_CERT_TOLD)
  if(NOT told)
    message(STATUS "No KESTRELYN_CERT given: installers carry the self-signed development certificate "
      "${cert} (\"Kestrelyn development certificate, not for release\")")
    set_property(GLOBAL PROPERTY KESTRELYN_DEV_CERT_TOLD TRUE)
  endif()
  set(${var} ${cert} PARENT_SCOPE)
endfunction()

function(kestrelyn_add_cert target)
  cmake_parse_arguments(ARG "" "CERT" "" ${ARGN})
  if(ARG_CERT)
    cmake_path(ABSOLUTE_PATH ARG_CERT BASE_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR} NORMALIZE OUTPUT_VARIABLE cert)
  else()
    kestrelyn_default_cert(cert)
  endif()
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}.cert.rc)
  add_custom_command(OUTPUT ${rc}
    COMMAND ${Python3_EXECUTABLE} ${KESTRELYN_CERT_RC_TOOL} ${cert} ${rc}
    DEPENDS ${KESTRELYN_CERT_RC_TOOL} ${cert}
    COMMENT "Certificate of ${target}"
    VERBATIM)
  # The resource compiler reads the certificate: it is an input too.
  set_source_files_properties(${rc} PROPERTIES GENERATED TRUE OBJECT_DEPENDS ${cert})
  target_sources(${target} PRIVATE ${rc})
endfunction()

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
  cmake_parse_arguments(ARG "EXCLUDE_FROM_ALL" "CERT" "" ${ARGN})
  if(ARG_EXCLUDE_FROM_ALL)
    set(exclude EXCLUDE_FROM_ALL)
  endif()
  add_executable(${name} WIN32 ${exclude} $<TARGET_OBJECTS:QornStubCore>
    $<TARGET_OBJECTS:QornStubStatus>)
  zelk_link_nocrt(${name})
  zelk_link_comctl32_delay(${name})
  # Sections at page boundaries in the file too: the loader can then map the
  # payload as it is needed instead of reading all of it at start-up.
  target_link_options(${name} PRIVATE -mwindows -Wl,--file-alignment,0x1000)
  if(ARG_CERT)
    kestrelyn_add_cert(${name} CERT ${ARG_CERT})
  else()
    kestrelyn_add_cert(${name})
  endif()
  kestrelyn_add_payload(${name} ${ARG_UNPARSED_ARGUMENTS})
endfunction()
