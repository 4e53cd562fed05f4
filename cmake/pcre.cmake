# PCRE 8 and its C++ wrapper pcrecpp, as the target `textsift_pcre`.
#
#   TEXTSIFT_PCRE=auto     the system's, where pkg-config finds libpcre and libpcrecpp; otherwise
#                          built from source (Debian 13 and later no longer ship PCRE 8)
#   TEXTSIFT_PCRE=system   the system's, or an error
#   TEXTSIFT_PCRE=source   built from source by scripts/build-pcre: Debian 12's pcre3 source
#                          package, or the PCRE 8.x tarball TEXTSIFT_PCRE_SOURCE names
#
# A build from source gives static libraries. With TEXTSIFT_STATIC_RUNTIME the system's are linked
# statically too (libpcrecpp.a before libpcre.a, which it needs).

set(TEXTSIFT_PCRE auto CACHE STRING "Where PCRE 8 comes from: auto, system or source")
set_property(CACHE TEXTSIFT_PCRE PROPERTY STRINGS auto system source)
set(TEXTSIFT_PCRE_SOURCE "" CACHE FILEPATH "A PCRE 8.x source tarball to build PCRE from")

set(pcre_from ${TEXTSIFT_PCRE})
if(TEXTSIFT_PCRE_SOURCE)
  set(pcre_from source)
endif()
if(NOT pcre_from MATCHES "^(auto|system|source)$")
  message(FATAL_ERROR "TEXTSIFT_PCRE is '${pcre_from}': it must be auto, system or source")
endif()

add_library(textsift_pcre INTERFACE)
if(NOT pcre_from STREQUAL "source")
  pkg_check_modules(PCRE QUIET IMPORTED_TARGET libpcre libpcrecpp)
  if(PCRE_FOUND)
    message(STATUS "PCRE: the system's ${PCRE_libpcre_VERSION}")
  elseif(pcre_from STREQUAL "system")
    message(FATAL_ERROR "PCRE 8 (libpcre and libpcrecpp) not found by pkg-config; on Debian 12 "
                        "install libpcre3-dev, elsewhere configure with -DTEXTSIFT_PCRE=source")
  else()
    message(STATUS "PCRE: pkg-config finds no PCRE 8 on this system: building it from source")
    set(pcre_from source)
  endif()
endif()

if(pcre_from STREQUAL "source")
  # Built once per source and compiler, into the user's cache; the script says what it does.
  execute_process(
    COMMAND ${PROJECT_SOURCE_DIR}/scripts/build-pcre ${TEXTSIFT_PCRE_SOURCE}
    OUTPUT_VARIABLE pcre_prefix
    OUTPUT_STRIP_TRAILING_WHITESPACE
    RESULT_VARIABLE pcre_built)
  if(NOT pcre_built EQUAL 0)
    message(FATAL_ERROR "PCRE could not be built from source (see above)")
  endif()
  message(STATUS "PCRE: built from source in ${pcre_prefix}")
  target_include_directories(textsift_pcre SYSTEM INTERFACE ${pcre_prefix}/include)
  target_compile_definitions(textsift_pcre INTERFACE PCRE_STATIC)
  target_link_libraries(textsift_pcre INTERFACE ${pcre_prefix}/lib/libpcrecpp.a
                                                ${pcre_prefix}/lib/libpcre.a)
elseif(TEXTSIFT_STATIC_RUNTIME)
  find_library(PCRECPP_STATIC NAMES libpcrecpp.a HINTS ${PCRE_LIBRARY_DIRS} REQUIRED)
  find_library(PCRE_STATIC NAMES libpcre.a HINTS ${PCRE_LIBRARY_DIRS} REQUIRED)
  target_include_directories(textsift_pcre SYSTEM INTERFACE ${PCRE_INCLUDE_DIRS})
  target_compile_definitions(textsift_pcre INTERFACE PCRE_STATIC)
  target_link_libraries(textsift_pcre INTERFACE ${PCRECPP_STATIC} ${PCRE_STATIC})
else()
  target_link_libraries(textsift_pcre INTERFACE PkgConfig::PCRE)
endif()
