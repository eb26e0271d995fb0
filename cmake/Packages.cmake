# The skin zip and the language pack zips are made at build time. The shipped program's come from the
# product folder (SETUP_PRODUCT_DIR, packages/ unless a vendor names its own, see
# setup_product_packs); the packs the tests build their loopback programs from come from packages/,
# whose values the tests know: the loopback pack is the shipped one with every host "localhost".
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

# Stops the configuration, naming what is missing, when `dir` lacks a piece of a product folder
# (tools/check_product_dir.py); sets `out_name` to the product's name (productInfo.ini).
function(setup_check_product_dir dir out_name)
  execute_process(COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tools/check_product_dir.py ${dir} STR_PRODUCT_NAME
                  RESULT_VARIABLE failed OUTPUT_VARIABLE found ERROR_VARIABLE problems
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(failed)
    # Indented lines are printed as they are, one problem a line.
    string(REGEX REPLACE "([^\n]+)" "  \\1" problems "${problems}")
    message(FATAL_ERROR "The product folder ${dir} is incomplete:\n${problems}"
                        "See \"Make it your product\" in README.md for what a product folder holds.")
  endif()
  string(REGEX REPLACE "^STR_PRODUCT_NAME=" "" name "${found}")
  set(${out_name} "${name}" PARENT_SCOPE)
  # A file added to or removed from the folder is checked again at the next build.
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${dir}/language/language.ini
               ${dir}/language/productInfo.ini)
endfunction()

# setup_product_packs(NAME DIR [SUBSTITUTE ...] [URL_KEYS ...] [URL_KEY_DIGESTS ...] [DEPENDS ...])
# One program's packs from a product folder: checks the folder, packs its skin and language pack into
# <build>/packages/NAME/ (the language pack with the hosts and keys given, as setup_make_zip) and
# sets NAME_SKIN_ZIP, NAME_LANGUAGE_ZIP, NAME_DOMAIN_FILE, NAME_PRODUCT_NAME and a target NAME_packs.
function(setup_product_packs name dir)
  cmake_parse_arguments(ARG "" "" "SUBSTITUTE;URL_KEYS;URL_KEY_DIGESTS;DEPENDS" ${ARGN})
  setup_check_product_dir(${dir} product_name)
  setup_make_zip(skin ${name}/skin.zip ${dir}/skin)
  setup_make_zip(language ${name}/language.zip ${dir}/language SUBSTITUTE ${ARG_SUBSTITUTE}
                 URL_KEYS ${ARG_URL_KEYS} URL_KEY_DIGESTS ${ARG_URL_KEY_DIGESTS} DEPENDS ${ARG_DEPENDS})
  add_custom_target(${name}_packs DEPENDS ${skin} ${language})
  set(${name}_SKIN_ZIP ${skin} PARENT_SCOPE)
  set(${name}_LANGUAGE_ZIP ${language} PARENT_SCOPE)
  set(${name}_DOMAIN_FILE ${dir}/domain.txt PARENT_SCOPE)
  set(${name}_PRODUCT_NAME "${product_name}" PARENT_SCOPE)
endfunction()

setup_make_zip(SETUP_SKIN_ZIP skin.zip ${CMAKE_SOURCE_DIR}/packages/skin)
# The test publishers: tools/test-signing.sh makes their certificates (under the build tree) and signs
# the sample installer as the first one after it is linked (tests/fixtures); the loopback pack pins it.
# The second one signs a copy the tests must see refused.
set(SETUP_TEST_PUBLISHER "Pelarin Test Publisher")
set(SETUP_OTHER_PUBLISHER "Another Test Publisher")
# The signer of the test builds of the installer itself (tests/fixtures), in PEM and PKCS#12 form.
set(SETUP_TEST_BUILD_SIGNER "Harwick Test Signer")
set(SETUP_TEST_SIGNING_DIR ${CMAKE_BINARY_DIR}/test-signing)

# The expected SHA-256 and signer of the full installer: the build options for the shipped pack (no
# check when empty), the signed sample installer's own digest and test publisher for the loopback pack.
# The shipped pack's keys (src/CMakeLists.txt packs them into the product folder's pack); language.zip
# is packages/ packed with them, the shipped pack of the product the tests know.
set(SETUP_SHIPPED_URL_KEYS
    "STR_DOWN_SHA256=${SETUP_PAYLOAD_SHA256}" "STR_DOWN_SHA256_X64=${SETUP_PAYLOAD_SHA256}"
    "STR_DOWN_PUBLISHER=${SETUP_PAYLOAD_PUBLISHER}" "STR_DOWN_PUBLISHER_X64=${SETUP_PAYLOAD_PUBLISHER}"
    "STR_DOWN_PUBLISHER_SHA256=${SETUP_PAYLOAD_PUBLISHER_SHA256}"
    "STR_DOWN_PUBLISHER_SHA256_X64=${SETUP_PAYLOAD_PUBLISHER_SHA256}")
setup_make_zip(SETUP_LANGUAGE_ZIP language.zip ${CMAKE_SOURCE_DIR}/packages/language
  SUBSTITUTE "@DOWNLOAD_HOST@=${SETUP_DOWNLOAD_HOST}" "@PAGE_HOST@=${SETUP_PAGE_HOST}"
  URL_KEYS ${SETUP_SHIPPED_URL_KEYS})
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
# The loopback pack that pins the publisher alone, without the digest: a name names no one file, so
# this program must never fetch its full installer over plain HTTP.
setup_make_zip(SETUP_LANGUAGE_PUBLISHER_ZIP language-publisher.zip ${CMAKE_SOURCE_DIR}/packages/language
  SUBSTITUTE "@DOWNLOAD_HOST@=localhost" "@PAGE_HOST@=localhost"
  URL_KEYS "STR_DOWN_PUBLISHER=${SETUP_TEST_PUBLISHER}" "STR_DOWN_PUBLISHER_X64=${SETUP_TEST_PUBLISHER}")
add_custom_target(setup_publisher_zip DEPENDS ${SETUP_LANGUAGE_PUBLISHER_ZIP})
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
# The prefetch benchmark's: 64 MiB behind nginx's /slow/ (4 MiB/s per connection).
set(SETUP_BENCH_SLOW_PAYLOAD ${CMAKE_BINARY_DIR}/packages/SampleInstaller-64MiB.exe)
add_custom_command(OUTPUT ${SETUP_BENCH_SLOW_PAYLOAD}
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tools/pad_file.py $<TARGET_FILE:SampleInstaller> ${SETUP_BENCH_SLOW_PAYLOAD} 67108864
  DEPENDS SampleInstaller ${CMAKE_SOURCE_DIR}/tools/pad_file.py
  COMMENT "Padding the sample installer to 64 MiB")
setup_make_zip(SETUP_LANGUAGE_BENCH_SLOW_ZIP language-bench-slow.zip ${CMAKE_SOURCE_DIR}/packages/language
  SUBSTITUTE "@DOWNLOAD_HOST@=localhost/slow" "@PAGE_HOST@=localhost"
  URL_KEY_DIGESTS "STR_DOWN_SHA256=${SETUP_BENCH_SLOW_PAYLOAD}" "STR_DOWN_SHA256_X64=${SETUP_BENCH_SLOW_PAYLOAD}"
  DEPENDS ${SETUP_BENCH_SLOW_PAYLOAD})
add_custom_target(setup_bench_slow_zip DEPENDS ${SETUP_LANGUAGE_BENCH_SLOW_ZIP})
