# zlib's inflate for the Windows builds, compiled from Debian's zlib source
# package (scripts/setup.sh unpacks it outside the repository) and sized for
# the stub: -Os, function and data sections, no unwind tables, no gzip
# support. The prebuilt libz.a of libz-mingw-w64-dev is built -O2 without
# sections and carries unwind tables; its inflate costs the stub about 18 KB
# more.
#
# saver_zlib_inflate_library(<out-var>)
# Makes the static library saver_zlib_inflate (inflate, inftrees, inffast,
# adler32, zutil) and sets <out-var> to its name, or to "" when the source is
# missing or of another version than the installed zlib: the build then uses
# the prebuilt library alone and warns.
include_guard(GLOBAL)

set(SAVER_ZLIB_SOURCE "" CACHE PATH
    "Unpacked zlib source for the Windows builds (empty: where scripts/setup.sh puts it)")
set(SAVER_ZLIB_OPT -Os CACHE STRING "Optimisation of the zlib inflate built from source")

function(_saver_zlib_version header out)
  set(version "")
  if(EXISTS "${header}")
    file(STRINGS "${header}" line REGEX "^#define ZLIB_VERSION \"[^\"]+\"" LIMIT_COUNT 1)
    string(REGEX REPLACE ".*\"([^\"]+)\".*" "\\1" version "${line}")
  endif()
  set(${out} "${version}" PARENT_SCOPE)
endfunction()

function(saver_zlib_inflate_library out)
  set(${out} "" PARENT_SCOPE)

  # The places scripts/setup.sh unpacks to, in its order.
  set(candidates "${SAVER_ZLIB_SOURCE}" "$ENV{SAVER_ZLIB_SOURCE}" /var/cache/saversetup/zlib-src/zlib)
  if(DEFINED ENV{HOME})
    list(APPEND candidates "$ENV{HOME}/.cache/saversetup/zlib-src/zlib")
  endif()
  list(REMOVE_ITEM candidates "")
  set(src "")
  foreach(dir IN LISTS candidates)
    if(EXISTS "${dir}/inflate.c" AND EXISTS "${dir}/zlib.h")
      set(src "${dir}")
      break()
    endif()
  endforeach()

  set(fallback "The Windows builds link the prebuilt libz.a instead: the 32-bit stub is about 18 KB larger "
               "and may exceed its size budget. Run scripts/setup.sh (it fetches the source), or set "
               "SAVER_ZLIB_SOURCE to an unpacked zlib source.")
  if(NOT src)
    string(REPLACE ";" ", " _where "${candidates}")
    message(WARNING "zlib: no zlib source found (looked in ${_where}). " ${fallback})
    return()
  endif()

  # The headers the rest of the build sees are the installed ones' version:
  # the source must be the same release.
  find_file(SAVER_ZLIB_INSTALLED_HEADER zlib.h REQUIRED)
  _saver_zlib_version("${SAVER_ZLIB_INSTALLED_HEADER}" installed)
  _saver_zlib_version("${src}/zlib.h" found)
  if(NOT found STREQUAL installed)
    message(WARNING "zlib: the source in ${src} is ${found}, the installed zlib is ${installed}. " ${fallback})
    return()
  endif()

  if(NOT TARGET saver_zlib_inflate)
    # Only zlib.h and zconf.h go on the include path, not the source's
    # private headers.
    set(inc "${CMAKE_BINARY_DIR}/third_party/zlib/include")
    foreach(h zlib.h zconf.h)
      configure_file("${src}/${h}" "${inc}/${h}" COPYONLY)
    endforeach()
    add_library(saver_zlib_inflate STATIC
      "${src}/inflate.c" "${src}/inftrees.c" "${src}/inffast.c" "${src}/adler32.c" "${src}/zutil.c")
    target_include_directories(saver_zlib_inflate SYSTEM PUBLIC "${inc}")
    target_include_directories(saver_zlib_inflate PRIVATE "${src}")
    # Packages are zlib streams: no gzip header parsing, and with it no CRC-32.
    target_compile_definitions(saver_zlib_inflate PRIVATE NO_GZIP)
    set(opts ${SAVER_ZLIB_OPT} -ffunction-sections -fdata-sections -fno-asynchronous-unwind-tables)
    if(SAVER_STUB_SMALL_CODE)
      list(APPEND opts -fomit-frame-pointer)
      if(CMAKE_SIZEOF_VOID_P EQUAL 4)
        list(APPEND opts -mpreferred-stack-boundary=2)
      endif()
    endif()
    target_compile_options(saver_zlib_inflate PRIVATE ${opts})
    message(STATUS "zlib: inflate built from ${src} (${found}, ${SAVER_ZLIB_OPT})")
  endif()
  set(${out} saver_zlib_inflate PARENT_SCOPE)
endfunction()
