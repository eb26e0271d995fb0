# The skin zip and the language pack zips are made at build time from packages/. The shipped pack
# takes its hosts from the build options; the loopback pack is the same with every host "localhost".
set(SETUP_PACK_TOOL ${CMAKE_SOURCE_DIR}/tools/make_package_zip.py)
find_package(Python3 REQUIRED COMPONENTS Interpreter)

function(setup_make_zip out_var name source_dir)
  cmake_parse_arguments(ARG "" "" "SUBSTITUTE;URL_KEYS;URL_KEY_DIGESTS;DEPENDS" ${ARGN})
  set(zip ${CMAKE_BINARY_DIR}/packages/${name})
  file(GLOB_RECURSE inputs CONFIGURE_DEPENDS ${source_dir}/*)
  set(subst_args)
  foreach(s ${ARG_SUBSTITUTE})
    list(APPEND subst_args --substitute ${s})
  endforeach()
  foreach(s ${ARG_URL_KEYS})
    list(APPEND subst_args --url-key ${s})
  endforeach()
  foreach(s ${ARG_URL_KEY_DIGESTS})
    list(APPEND subst_args --url-key-digest ${s})
  endforeach()
  add_custom_command(OUTPUT ${zip}
    COMMAND ${Python3_EXECUTABLE} ${SETUP_PACK_TOOL} ${source_dir} ${zip} ${subst_args}
    DEPENDS ${inputs} ${SETUP_PACK_TOOL} ${ARG_DEPENDS}
    COMMENT "Packing ${name}")
  set(${out_var} ${zip} PARENT_SCOPE)
endfunction()

setup_make_zip(SETUP_SKIN_ZIP skin.zip ${CMAKE_SOURCE_DIR}/packages/skin)
# The expected SHA-256 of the full installer: the build option for the shipped pack (no check when
# empty), the sample installer's own digest for the loopback pack.
setup_make_zip(SETUP_LANGUAGE_ZIP language.zip ${CMAKE_SOURCE_DIR}/packages/language
  SUBSTITUTE "@DOWNLOAD_HOST@=${SETUP_DOWNLOAD_HOST}" "@PAGE_HOST@=${SETUP_PAGE_HOST}"
  URL_KEYS "STR_DOWN_SHA256=${SETUP_PAYLOAD_SHA256}" "STR_DOWN_SHA256_X64=${SETUP_PAYLOAD_SHA256}")
setup_make_zip(SETUP_LANGUAGE_LOOPBACK_ZIP language-loopback.zip ${CMAKE_SOURCE_DIR}/packages/language
  SUBSTITUTE "@DOWNLOAD_HOST@=localhost" "@PAGE_HOST@=localhost"
  URL_KEY_DIGESTS "STR_DOWN_SHA256=$<TARGET_FILE:SampleInstaller>" "STR_DOWN_SHA256_X64=$<TARGET_FILE:SampleInstaller>"
  DEPENDS SampleInstaller)
set(SETUP_DOMAIN_FILE ${CMAKE_SOURCE_DIR}/packages/domain.txt)
add_custom_target(setup_package_zips DEPENDS ${SETUP_SKIN_ZIP} ${SETUP_LANGUAGE_ZIP} ${SETUP_LANGUAGE_LOOPBACK_ZIP})
