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
# The test publishers: tools/test-signing.sh makes their certificates (under the build tree) and signs
# the sample installer as the first one after it is linked (tests/fixtures); the loopback pack pins it.
# The second one signs a copy the tests must see refused.
set(SETUP_TEST_PUBLISHER "Pelarin Test Publisher")
set(SETUP_OTHER_PUBLISHER "Another Test Publisher")
set(SETUP_TEST_SIGNING_DIR ${CMAKE_BINARY_DIR}/test-signing)

# The expected SHA-256 and signer of the full installer: the build options for the shipped pack (no
# check when empty), the signed sample installer's own digest and test publisher for the loopback pack.
setup_make_zip(SETUP_LANGUAGE_ZIP language.zip ${CMAKE_SOURCE_DIR}/packages/language
  SUBSTITUTE "@DOWNLOAD_HOST@=${SETUP_DOWNLOAD_HOST}" "@PAGE_HOST@=${SETUP_PAGE_HOST}"
  URL_KEYS "STR_DOWN_SHA256=${SETUP_PAYLOAD_SHA256}" "STR_DOWN_SHA256_X64=${SETUP_PAYLOAD_SHA256}"
           "STR_DOWN_PUBLISHER=${SETUP_PAYLOAD_PUBLISHER}" "STR_DOWN_PUBLISHER_X64=${SETUP_PAYLOAD_PUBLISHER}"
           "STR_DOWN_PUBLISHER_SHA256=${SETUP_PAYLOAD_PUBLISHER_SHA256}"
           "STR_DOWN_PUBLISHER_SHA256_X64=${SETUP_PAYLOAD_PUBLISHER_SHA256}")
setup_make_zip(SETUP_LANGUAGE_LOOPBACK_ZIP language-loopback.zip ${CMAKE_SOURCE_DIR}/packages/language
  SUBSTITUTE "@DOWNLOAD_HOST@=localhost" "@PAGE_HOST@=localhost"
  URL_KEYS "STR_DOWN_PUBLISHER=${SETUP_TEST_PUBLISHER}" "STR_DOWN_PUBLISHER_X64=${SETUP_TEST_PUBLISHER}"
  URL_KEY_DIGESTS "STR_DOWN_SHA256=$<TARGET_FILE:SampleInstaller>" "STR_DOWN_SHA256_X64=$<TARGET_FILE:SampleInstaller>"
  DEPENDS SampleInstaller)
# The loopback pack with the full installer on a host that only the tests' proxy resolves
# (tools/test-proxy.sh), as on a network whose names only its proxy knows.
setup_make_zip(SETUP_LANGUAGE_PROXYHOST_ZIP language-proxyhost.zip ${CMAKE_SOURCE_DIR}/packages/language
  SUBSTITUTE "@DOWNLOAD_HOST@=payload.corp.test" "@PAGE_HOST@=localhost"
  URL_KEYS "STR_DOWN_PUBLISHER=${SETUP_TEST_PUBLISHER}" "STR_DOWN_PUBLISHER_X64=${SETUP_TEST_PUBLISHER}"
  URL_KEY_DIGESTS "STR_DOWN_SHA256=$<TARGET_FILE:SampleInstaller>" "STR_DOWN_SHA256_X64=$<TARGET_FILE:SampleInstaller>"
  DEPENDS SampleInstaller)
add_custom_target(setup_proxyhost_zip DEPENDS ${SETUP_LANGUAGE_PROXYHOST_ZIP})
set(SETUP_DOMAIN_FILE ${CMAKE_SOURCE_DIR}/packages/domain.txt)
add_custom_target(setup_package_zips DEPENDS ${SETUP_SKIN_ZIP} ${SETUP_LANGUAGE_ZIP} ${SETUP_LANGUAGE_LOOPBACK_ZIP})

# The benchmark's full installer: the sample installer padded to 50 MiB, and a loopback pack that
# carries its digest (built only for `make bench`). Only the digest, no publisher: the padded copy is
# not the file that was signed.
set(SETUP_BENCH_PAYLOAD ${CMAKE_BINARY_DIR}/packages/SampleInstaller-50MiB.exe)
add_custom_command(OUTPUT ${SETUP_BENCH_PAYLOAD}
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tools/pad_file.py $<TARGET_FILE:SampleInstaller> ${SETUP_BENCH_PAYLOAD} 52428800
  DEPENDS SampleInstaller ${CMAKE_SOURCE_DIR}/tools/pad_file.py
  COMMENT "Padding the sample installer to 50 MiB")
setup_make_zip(SETUP_LANGUAGE_BENCH_ZIP language-bench.zip ${CMAKE_SOURCE_DIR}/packages/language
  SUBSTITUTE "@DOWNLOAD_HOST@=localhost" "@PAGE_HOST@=localhost"
  URL_KEY_DIGESTS "STR_DOWN_SHA256=${SETUP_BENCH_PAYLOAD}" "STR_DOWN_SHA256_X64=${SETUP_BENCH_PAYLOAD}"
  DEPENDS ${SETUP_BENCH_PAYLOAD})
add_custom_target(setup_bench_zip DEPENDS ${SETUP_LANGUAGE_BENCH_ZIP})
