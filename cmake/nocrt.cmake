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

# zelk_link_nocrt(target [ENTRY symbol] [WHOLE_RUNTIME])
# Links a Windows executable without the C runtime: only the runtime, its
# memcpy & co. object, kernel32, ntdll and libgcc.  ld merely warns about a
# missing entry symbol, so warnings are fatal.  WHOLE_RUNTIME links every
# object of the runtime, not just the ones referenced.  The entry is the
# runtime's process entry unless ENTRY names another (written the x86 way).
function(zelk_link_nocrt target)
  cmake_parse_arguments(ARG "WHOLE_RUNTIME" "ENTRY" "" ${ARGN})
  if(NOT ARG_ENTRY)
    set(ARG_ENTRY _KestrelStart@0)
  endif()
  zelk_win_symbol(ARG_ENTRY ${ARG_ENTRY})
  target_sources(${target} PRIVATE $<TARGET_OBJECTS:zelk-nocrt>)
  target_compile_options(${target} PRIVATE ${ZELK_WARNINGS} -ffreestanding -fno-exceptions
    -fno-rtti -fno-asynchronous-unwind-tables -fno-stack-protector)
  target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR}/Runtime/internal)
  target_link_options(${target} PRIVATE -nostdlib -Wl,--fatal-warnings
    -Wl,-e,${ARG_ENTRY} -Wl,--no-insert-timestamp -Wl,--gc-sections -s)
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
