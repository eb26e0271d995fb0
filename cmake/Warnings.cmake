# Compile and link settings every target of the project shares.
add_compile_definitions(
  UNICODE _UNICODE
  WIN32_LEAN_AND_MEAN NOMINMAX
  _WIN32_WINNT=0x0601 WINVER=0x0601 _WIN32_IE=0x0800
  STRICT)
add_compile_options(-Wall -Wextra -Wformat=2 -Wno-unused-parameter -Wno-missing-field-initializers
                    -ffunction-sections -fdata-sections)
# A warning stops the build: one left standing hides the next. Third-party code built here (the test
# framework) is exempt (cmake/ThirdParty.cmake).
option(SETUP_WARNINGS_AS_ERRORS "Treat compiler warnings as errors" ON)
if(SETUP_WARNINGS_AS_ERRORS)
  add_compile_options(-Werror)
endif()
if(NOT CMAKE_BUILD_TYPE)
  set(CMAKE_BUILD_TYPE MinSizeRel CACHE STRING "Build type" FORCE)
endif()
# One self-contained file: C and C++ runtimes and winpthread go in statically.
add_link_options(-static -static-libgcc -static-libstdc++ -Wl,--gc-sections)
