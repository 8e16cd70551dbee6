# Outside code: zlib, the header-only JSON and command-line parsers, GoogleTest.
include_guard(GLOBAL)

# --- zlib: static archive for Windows (never the DLL import library) --------
# On Windows inflate comes from the library built from source
# (ZlibInflate.cmake), listed first so that it wins; the prebuilt libz.a
# behind it supplies only what that library leaves out (deflate and
# uncompress, for the packer, the tests and the benchmarks). The stub takes
# nothing from libz.a: shell/Runtime.cpp stands in for the rest.
add_library(saver_zlib INTERFACE)
add_library(saver::zlib ALIAS saver_zlib)
if(WIN32)
  include(${CMAKE_CURRENT_LIST_DIR}/ZlibInflate.cmake)
  find_library(SAVER_ZLIB_ARCHIVE NAMES libz.a NAMES_PER_DIR REQUIRED)
  if(SAVER_ZLIB_ARCHIVE MATCHES "\\.dll\\.a$")
    message(FATAL_ERROR "zlib: found the import library ${SAVER_ZLIB_ARCHIVE}, need libz.a")
  endif()
  saver_zlib_inflate_library(_inflate)
  if(_inflate)
    target_link_libraries(saver_zlib INTERFACE ${_inflate})
  else()
    # shell/Runtime.cpp then also stands in for the CRC-32 that the
    # prebuilt inflate refers to.
    target_compile_definitions(saver_zlib INTERFACE SAVER_ZLIB_PREBUILT)
  endif()
  target_link_libraries(saver_zlib INTERFACE "${SAVER_ZLIB_ARCHIVE}")
else()
  find_package(ZLIB REQUIRED)
  target_link_libraries(saver_zlib INTERFACE ZLIB::ZLIB)
endif()

# --- nlohmann-json and CLI11 -------------------------------------------------
# The Debian packages live in /usr/include. The cross builds must not see the
# rest of /usr/include, so a folder of links to just these two goes on the
# include path instead (the same on every preset).
set(_tp "${CMAKE_BINARY_DIR}/third_party/include")
file(MAKE_DIRECTORY "${_tp}")
foreach(_pkg nlohmann CLI)
  set(_src "/usr/include/${_pkg}")
  if(EXISTS "${_src}" AND NOT EXISTS "${_tp}/${_pkg}")
    file(CREATE_LINK "${_src}" "${_tp}/${_pkg}" SYMBOLIC)
  endif()
endforeach()
add_library(saver_third_party INTERFACE)
add_library(saver::third_party ALIAS saver_third_party)
target_include_directories(saver_third_party SYSTEM INTERFACE "${_tp}")

# --- GoogleTest --------------------------------------------------------------
if(SAVER_BUILD_TESTS)
  if(WIN32)
    # Built from the Debian sources with the cross compiler; the posix thread
    # model is required (std::mutex).
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
    set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest "${CMAKE_BINARY_DIR}/third_party/googletest"
                     EXCLUDE_FROM_ALL SYSTEM)
    foreach(_t gtest gtest_main gmock gmock_main)
      if(TARGET ${_t} AND NOT TARGET GTest::${_t})
        add_library(GTest::${_t} ALIAS ${_t})
      endif()
    endforeach()
  else()
    find_package(GTest REQUIRED)
  endif()
endif()
