# Helpers shared by every folder's CMakeLists.txt.
#
# Source naming: name.cpp builds everywhere, name_win.cpp only for Windows,
# name_host.cpp only for the native build. Folders are globbed, so adding a
# file needs no CMake edit (CONFIGURE_DEPENDS re-runs the glob on each build).

include_guard(GLOBAL)
include(CheckCXXCompilerFlag)

set(SAVER_ROOT "${CMAKE_CURRENT_LIST_DIR}/.." CACHE INTERNAL "")
get_filename_component(SAVER_ROOT "${SAVER_ROOT}" ABSOLUTE)

# The project's libraries, bottom up. A folder makes its library only once
# it has sources for the preset, so these names may have no target yet.
set(SAVER_KNOWN_LIBRARIES framework sysutil registry objects script commandline shell packer CACHE INTERNAL "")

# saver_collect_sources(<out-var> <dir> [RECURSE])
function(saver_collect_sources out dir)
  cmake_parse_arguments(ARG "RECURSE" "" "" ${ARGN})
  if(ARG_RECURSE)
    file(GLOB_RECURSE found CONFIGURE_DEPENDS "${dir}/*.cpp")
  else()
    file(GLOB found CONFIGURE_DEPENDS "${dir}/*.cpp")
  endif()
  set(kept)
  foreach(f IN LISTS found)
    get_filename_component(stem "${f}" NAME_WE)
    if(stem MATCHES "_win$" AND NOT WIN32)
      continue()
    endif()
    if(stem MATCHES "_host$" AND WIN32)
      continue()
    endif()
    list(APPEND kept "${f}")
  endforeach()
  list(SORT kept)
  set(${out} "${kept}" PARENT_SCOPE)
endfunction()

set(_saver_warnings
  -Wall -Wextra
  # Window procedures, callbacks and virtual overrides take parameters they
  # do not need; Win32 structs are zero-filled with "= { sizeof(S) }";
  # GetProcAddress results are cast to the real function type.
  -Wno-unused-parameter -Wno-missing-field-initializers
  -Wno-unknown-pragmas)
check_cxx_compiler_flag(-Wcast-function-type SAVER_HAVE_WCAST_FUNCTION_TYPE)
if(SAVER_HAVE_WCAST_FUNCTION_TYPE)
  list(APPEND _saver_warnings -Wno-cast-function-type)
endif()
check_cxx_compiler_flag(-fcheck-new SAVER_HAVE_FCHECK_NEW)

# How the stub's code is optimised: for size, and with SAVER_STUB_SMALL_CODE
# harder still. Each flag was measured on the 32-bit stub's code: -Oz about
# 500 bytes below -Os, no frame pointer about 1,000, the 4-byte stack
# alignment (all that 32-bit Windows promises anyway) about 300.
set(SAVER_SIZE_OPT -Os)
set(_saver_small_code)
if(SAVER_STUB_SMALL_CODE)
  check_cxx_compiler_flag(-Oz SAVER_HAVE_OZ)
  if(SAVER_HAVE_OZ)
    set(SAVER_SIZE_OPT -Oz)
  endif()
  list(APPEND _saver_small_code ${SAVER_SIZE_OPT} -fomit-frame-pointer)
  if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 4)
    list(APPEND _saver_small_code -mpreferred-stack-boundary=2)
  endif()
endif()

# saver_project_target(<target>)
# Compile settings of the project's own code: C++17, warnings, size-first code
# generation. Exceptions are off unless saver_enable_exceptions() was called on
# the target, RTTI unless saver_enable_rtti() was (before or after this call,
# the order does not matter).
function(saver_project_target tgt)
  set_target_properties(${tgt} PROPERTIES
    CXX_STANDARD 17 CXX_STANDARD_REQUIRED ON CXX_EXTENSIONS OFF)
  target_include_directories(${tgt} PRIVATE "${SAVER_ROOT}")

  set(exc "$<BOOL:$<TARGET_PROPERTY:${tgt},SAVER_EXCEPTIONS>>")
  set(rtti "$<BOOL:$<TARGET_PROPERTY:${tgt},SAVER_RTTI>>")
  set(cxx "$<COMPILE_LANGUAGE:CXX>")
  target_compile_options(${tgt} PRIVATE
    "$<$<COMPILE_LANGUAGE:C,CXX>:${_saver_warnings}>"
    "$<$<AND:$<COMPILE_LANGUAGE:C,CXX>,$<BOOL:${SAVER_WERROR}>>:-Werror>"
    "$<$<COMPILE_LANGUAGE:C,CXX>:-ffunction-sections;-fdata-sections>"
    "$<${cxx}:$<IF:${exc},-fexceptions,-fno-exceptions>>"
    "$<${cxx}:$<IF:${rtti},-frtti,-fno-rtti>>")
  if(SAVER_FAULT_HOOKS)
    target_compile_definitions(${tgt} PRIVATE SAVER_FAULT_HOOKS)
  endif()
  if(SAVER_HAVE_FCHECK_NEW)
    # operator new may hand back null; constructors must not run on it.
    target_compile_options(${tgt} PRIVATE "$<${cxx}:-fcheck-new>")
  endif()

  if(WIN32)
    target_compile_definitions(${tgt} PRIVATE
      _WIN32_WINNT=0x0501 WINVER=0x0501 __USE_MINGW_ANSI_STDIO=0)
    # libstdc++ switches the mingw printf emulation back on in every C++
    # header; reading <stdio.h> first pins the printf family to msvcrt.
    target_compile_options(${tgt} PRIVATE
      "$<$<COMPILE_LANGUAGE:C,CXX>:SHELL:-include \"${SAVER_ROOT}/cmake/msvcrt_stdio.h\">")
    if(_saver_small_code)
      target_compile_options(${tgt} PRIVATE "$<$<COMPILE_LANGUAGE:C,CXX>:${_saver_small_code}>")
    endif()
    if(SAVER_STUB_NO_UNWIND_TABLES)
      target_compile_options(${tgt} PRIVATE
        "$<$<AND:$<COMPILE_LANGUAGE:C,CXX>,$<NOT:${exc}>>:-fno-asynchronous-unwind-tables>")
    endif()
    target_link_options(${tgt} PRIVATE -Wl,--gc-sections)
  endif()
endfunction()

# saver_enable_exceptions(<target>)
# Test code, GoogleTest users, fuzz/benchmark drivers and the packer front end
# keep C++ exceptions.
function(saver_enable_exceptions tgt)
  set_target_properties(${tgt} PROPERTIES SAVER_EXCEPTIONS ON)
endfunction()

# saver_enable_rtti(<target>)
# Only for code that derives from no polymorphic class of the project: such a
# class would need the type_info of its base, which the project's libraries
# are built without (they carry their own run-time class information).
function(saver_enable_rtti tgt)
  set_target_properties(${tgt} PROPERTIES SAVER_RTTI ON)
endfunction()

# saver_add_library(<name> [DIR <dir>] [WINDOWS_ONLY])
# A static library from every source of the folder (subfolders included).
# No target is made while the folder has no sources for this platform.
function(saver_add_library name)
  cmake_parse_arguments(ARG "WINDOWS_ONLY" "DIR" "" ${ARGN})
  if(NOT name IN_LIST SAVER_KNOWN_LIBRARIES)
    message(FATAL_ERROR "saver_add_library(${name}): add '${name}' to SAVER_KNOWN_LIBRARIES in cmake/Saver.cmake")
  endif()
  if(NOT ARG_DIR)
    set(ARG_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
  endif()
  if(ARG_WINDOWS_ONLY AND NOT WIN32)
    return()
  endif()
  saver_collect_sources(srcs "${ARG_DIR}" RECURSE)
  if(NOT srcs)
    return()
  endif()
  add_library(${name} STATIC ${srcs})
  saver_project_target(${name})
  set_property(GLOBAL APPEND PROPERTY SAVER_LIBRARIES ${name})
endfunction()

# saver_link(<target> <dep>...)
# Links the dependencies that exist on this preset. A project library (see
# SAVER_KNOWN_LIBRARIES) without a target is skipped, so folders can be filled
# in any order; any other name must be a target, else configuring fails.
function(saver_link tgt)
  foreach(name IN LISTS tgt ARGN)
    if(NOT TARGET ${name} AND NOT name IN_LIST SAVER_KNOWN_LIBRARIES)
      string(REPLACE ";" " " known "${SAVER_KNOWN_LIBRARIES}")
      message(FATAL_ERROR "saver_link(${tgt} ...): '${name}' is neither a target nor one of the "
                          "project's libraries (${known})")
    endif()
  endforeach()
  if(NOT TARGET ${tgt})
    return()
  endif()
  get_target_property(type ${tgt} TYPE)
  if(type STREQUAL "EXECUTABLE")
    set(scope PRIVATE)
  else()
    set(scope PUBLIC)
  endif()
  foreach(dep IN LISTS ARGN)
    if(TARGET ${dep})
      target_link_libraries(${tgt} ${scope} ${dep})
    endif()
  endforeach()
endfunction()

# saver_print_size(<target> <label>)
# After each link prints "<file> (<label>): 61,440 bytes" and records the
# figure in <build>/<target>-size.txt.
function(saver_print_size tgt label)
  add_custom_command(TARGET ${tgt} POST_BUILD
    COMMAND "${CMAKE_COMMAND}" "-DFILE=$<TARGET_FILE:${tgt}>" "-DLABEL=${label}"
            "-DRECORD=${CMAKE_BINARY_DIR}/${tgt}-size.txt"
            -P "${SAVER_ROOT}/cmake/print-size.cmake"
    VERBATIM)
endfunction()

# saver_add_wine_test(NAME <name> COMMAND <exe-target-or-file> [args...])
# A test run under Wine inside the shared prefix, with the fixture that keeps
# wineserver and the virtual display up.
function(saver_add_wine_test)
  cmake_parse_arguments(ARG "" "NAME;TIMEOUT" "COMMAND" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  list(GET ARG_COMMAND 0 first)
  if(TARGET ${first})
    add_test(NAME ${ARG_NAME} COMMAND ${ARG_COMMAND})
  else()
    add_test(NAME ${ARG_NAME} COMMAND "${SAVER_WINE_RUN}" ${ARG_COMMAND})
  endif()
  set_tests_properties(${ARG_NAME} PROPERTIES
    FIXTURES_REQUIRED wine TIMEOUT ${ARG_TIMEOUT})
endfunction()
