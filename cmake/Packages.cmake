# The skin zip and the language pack zips are made at build time from packages/. The shipped pack
# takes its hosts from the build options; the loopback pack is the same with every host "localhost".
set(SETUP_PACK_TOOL ${CMAKE_SOURCE_DIR}/tools/make_package_zip.py)
find_package(Python3 REQUIRED COMPONENTS Interpreter)

function(setup_make_zip out_var name source_dir)
  cmake_parse_arguments(ARG "" "" "SUBSTITUTE" ${ARGN})
  set(zip ${CMAKE_BINARY_DIR}/packages/${name})
  file(GLOB_RECURSE inputs CONFIGURE_DEPENDS ${source_dir}/*)
  set(subst_args)
  foreach(s ${ARG_SUBSTITUTE})
    list(APPEND subst_args --substitute ${s})
  endforeach()
  add_custom_command(OUTPUT ${zip}
    COMMAND ${Python3_EXECUTABLE} ${SETUP_PACK_TOOL} ${source_dir} ${zip} ${subst_args}
    DEPENDS ${inputs} ${SETUP_PACK_TOOL}
    COMMENT "Packing ${name}")
  set(${out_var} ${zip} PARENT_SCOPE)
endfunction()

setup_make_zip(SETUP_SKIN_ZIP skin.zip ${CMAKE_SOURCE_DIR}/packages/skin)
setup_make_zip(SETUP_LANGUAGE_ZIP language.zip ${CMAKE_SOURCE_DIR}/packages/language
  SUBSTITUTE "@DOWNLOAD_HOST@=${SETUP_DOWNLOAD_HOST}" "@PAGE_HOST@=${SETUP_PAGE_HOST}")
setup_make_zip(SETUP_LANGUAGE_LOOPBACK_ZIP language-loopback.zip ${CMAKE_SOURCE_DIR}/packages/language
  SUBSTITUTE "@DOWNLOAD_HOST@=localhost" "@PAGE_HOST@=localhost")
set(SETUP_DOMAIN_FILE ${CMAKE_SOURCE_DIR}/packages/domain.txt)
add_custom_target(setup_package_zips DEPENDS ${SETUP_SKIN_ZIP} ${SETUP_LANGUAGE_ZIP} ${SETUP_LANGUAGE_LOOPBACK_ZIP})
