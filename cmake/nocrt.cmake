# Link-level symbol names differ between the two Windows targets: the x86
# ones carry the C decoration (a leading underscore, and @<argument bytes> for
# stdcall), the x64 ones none.  Names here are written the x86 way.
#
# zelk_win_symbol(var symbol): the symbol as the current target's linker sees it.
function(zelk_win_symbol var symbol)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    string(REGEX REPLACE "^_(.*)@[0-9]+$" "\\1" symbol "${symbol}")
  endif()
  set(${var} "${symbol}" PARENT_SCOPE)
endfunction()

# The process entry of the runtime's executables (KestrelStart, stdcall, no arguments).
zelk_win_symbol(ZELK_NOCRT_ENTRY _KestrelStart@0)

# The linker's default script with the static initialiser tables (.CRT) moved
# into .data (tools/nocrt-ldscript.py), made once per configure run.
function(zelk_nocrt_ldscript var)
  set(_script ${CMAKE_BINARY_DIR}/zelk-nocrt.ld)
  get_property(_done GLOBAL PROPERTY ZELK_NOCRT_LDSCRIPT_DONE)
  if(NOT _done)
    execute_process(
      COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tools/nocrt-ldscript.py ${_script}
        ${CMAKE_CXX_COMPILER}
      RESULT_VARIABLE _rc)
    if(NOT _rc EQUAL 0)
      message(FATAL_ERROR "tools/nocrt-ldscript.py failed (${_rc})")
    endif()
    set_property(GLOBAL PROPERTY ZELK_NOCRT_LDSCRIPT_DONE TRUE)
    set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
      ${CMAKE_SOURCE_DIR}/tools/nocrt-ldscript.py)
  endif()
  set(${var} ${_script} PARENT_SCOPE)
endfunction()

# zelk_link_nocrt(target [ENTRY symbol] [WHOLE_RUNTIME] [KEEP_SYMBOLS])
# Links a Windows executable without the C runtime: only the runtime, its
# memcpy & co. object, kernel32, ntdll and libgcc, with the linker script
# above.  ld merely warns about a missing entry symbol, so warnings are
# fatal.  WHOLE_RUNTIME links every
# object of the runtime, not just the ones referenced.  The entry is the
# runtime's process entry unless ENTRY names another (written the x86 way).
# The runtime and the program are optimised together at link time (-flto; the
# memcpy & co. object stays plain code).  KEEP_SYMBOLS leaves the symbol table
# in the program, for a listing of what each function and table costs.
function(zelk_link_nocrt target)
  cmake_parse_arguments(ARG "WHOLE_RUNTIME;KEEP_SYMBOLS" "ENTRY" "" ${ARGN})
  if(NOT ARG_ENTRY)
    set(ARG_ENTRY _KestrelStart@0)
  endif()
  zelk_win_symbol(ARG_ENTRY ${ARG_ENTRY})
  target_sources(${target} PRIVATE $<TARGET_OBJECTS:zelk-nocrt>)
  target_compile_options(${target} PRIVATE ${ZELK_WARNINGS} -ffreestanding -fno-exceptions
    -fno-rtti -fno-asynchronous-unwind-tables -fno-stack-protector ${ZELK_LTO_COMPILE})
  target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR}/Runtime/internal)
  target_link_options(${target} PRIVATE -nostdlib -Wl,--fatal-warnings
    -Wl,-e,${ARG_ENTRY} -Wl,--no-insert-timestamp -Wl,--gc-sections -flto -flto-partition=one)
  # -dT: as the default script, not one given by the user (which ld 2.40
  # crashes on in a link-time optimised link).
  zelk_nocrt_ldscript(_script)
  target_link_options(${target} PRIVATE -Wl,-dT,${_script})
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${_script})
  # Windows keeps 32-bit stacks 4-byte aligned only; nothing here needs 16.
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    target_link_options(${target} PRIVATE -mpreferred-stack-boundary=2)
  endif()
  if(NOT ARG_KEEP_SYMBOLS)
    target_link_options(${target} PRIVATE -s)
  endif()
  if(ARG_WHOLE_RUNTIME)
    set(_runtime "$<LINK_LIBRARY:WHOLE_ARCHIVE,zelk-runtime>")
  else()
    set(_runtime zelk-runtime)
  endif()
  target_link_libraries(${target} PRIVATE ${_runtime} kernel32 ntdll gcc)
  set_target_properties(${target} PROPERTIES LINKER_LANGUAGE CXX)
endfunction()

# zelk_link_comctl32_delay(target): COMCTL32 as a delay-loaded import.
function(zelk_link_comctl32_delay target)
  add_dependencies(${target} zelk-comctl32-delay-lib)
  target_link_libraries(${target} PRIVATE ${ZELK_COMCTL32_DELAY_LIB})
  # The stubs of a delay-import library are the first targets of its slots:
  # ld drops an import library's stub code that nothing names, so name it.
  # The helper comes from the runtime archive, which the linker has passed.
  zelk_win_symbol(_init _InitCommonControlsEx@4)
  zelk_win_symbol(_helper ___delayLoadHelper2@8)
  target_link_options(${target} PRIVATE -Wl,-u,${_init} -Wl,-u,${_helper})
endfunction()
