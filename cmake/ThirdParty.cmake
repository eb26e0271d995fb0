# Header-only libraries come from Debian's host packages. Never add /usr/include itself to a MinGW
# compile line (glibc headers would shadow MinGW's): a build-tree folder holds links to just these.
set(SETUP_THIRD_PARTY_INCLUDE ${CMAKE_BINARY_DIR}/third_party/include)
file(MAKE_DIRECTORY ${SETUP_THIRD_PARTY_INCLUDE})
foreach(lib spdlog fmt stb)
  if(NOT EXISTS /usr/include/${lib})
    message(FATAL_ERROR "/usr/include/${lib} is missing: run tools/install-deps.sh")
  endif()
  file(CREATE_LINK /usr/include/${lib} ${SETUP_THIRD_PARTY_INCLUDE}/${lib} SYMBOLIC)
endforeach()

add_library(third_party_headers INTERFACE)
target_include_directories(third_party_headers SYSTEM INTERFACE ${SETUP_THIRD_PARTY_INCLUDE})
target_compile_definitions(third_party_headers INTERFACE
  SPDLOG_HEADER_ONLY FMT_HEADER_ONLY SPDLOG_FMT_EXTERNAL
  # Keeps fmt off std::locale, which would link every locale facet of the C++ runtime (~0.5 MB).
  FMT_STATIC_THOUSANDS_SEPARATOR=',')

# zlib: MinGW's static build (libz-mingw-w64-dev).
find_library(SETUP_ZLIB NAMES libz.a z REQUIRED)
add_library(zlib_static INTERFACE)
target_link_libraries(zlib_static INTERFACE ${SETUP_ZLIB})

# GoogleTest from Debian's sources, built with the same cross toolchain.
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
foreach(lib gtest gtest_main)
  if(TARGET ${lib})
    target_compile_options(${lib} PRIVATE -Wno-error)
  endif()
endforeach()
