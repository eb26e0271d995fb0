# Authenticode signing of a linked program (osslsigncode, SHA-256) by tools/sign-file.sh. A PEM
# certificate chain needs its private key beside it; a PKCS#12 file (told by its .p12 or .pfx name)
# carries both. A password is only ever read from a file, so it reaches neither the cache nor a
# command line in the build log.
set(SETUP_SIGN_TOOL ${CMAKE_SOURCE_DIR}/tools/sign-file.sh)

function(setup_signing_is_pkcs12 out cert)
  string(TOLOWER "${cert}" lower)
  if(lower MATCHES "\\.(p12|pfx)$")
    set(${out} TRUE PARENT_SCOPE)
  else()
    set(${out} FALSE PARENT_SCOPE)
  endif()
endfunction()

# The combination of certificate, key, password file and timestamp server; `who` names the setting
# (or target) in the message.
function(setup_check_signing who cert key password_file timestamp_url)
  if(NOT cert)
    if(key OR password_file OR timestamp_url)
      message(FATAL_ERROR "${who}: a signing key, password file or timestamp server is set but no certificate "
                          "(SETUP_SIGN_CERT): nothing would be signed")
    endif()
    return()
  endif()
  setup_signing_is_pkcs12(pkcs12 "${cert}")
  if(NOT pkcs12 AND NOT key)
    message(FATAL_ERROR "${who}: the certificate ${cert} is PEM and needs its private key (SETUP_SIGN_KEY); "
                        "a PKCS#12 file, which holds the key, must end in .p12 or .pfx")
  endif()
  if(pkcs12 AND key)
    message(FATAL_ERROR "${who}: ${cert} is a PKCS#12 file and carries its own key; leave SETUP_SIGN_KEY empty")
  endif()
  if(timestamp_url AND NOT timestamp_url MATCHES "^https?://[^/ ]+")
    message(FATAL_ERROR "${who}: the timestamp server must be an http:// or https:// address: ${timestamp_url}")
  endif()
endfunction()

# The signing options themselves: the files must be there when the build is configured.
function(setup_check_signing_options)
  setup_check_signing("SETUP_SIGN_CERT" "${SETUP_SIGN_CERT}" "${SETUP_SIGN_KEY}" "${SETUP_SIGN_PASSWORD_FILE}"
                      "${SETUP_SIGN_TIMESTAMP_URL}")
  foreach(option SETUP_SIGN_CERT SETUP_SIGN_KEY SETUP_SIGN_PASSWORD_FILE)
    if(${option} AND NOT EXISTS "${${option}}")
      message(FATAL_ERROR "${option}: no such file: ${${option}}")
    endif()
  endforeach()
endfunction()

# setup_sign_after_link(TARGET CERT file [KEY file] [PASSWORD_FILE file] [TIMESTAMP_URL url]
#                       [DESCRIPTION text] [URL url])
# Signs TARGET's file in place right after it is linked (and stripped). A failed signature, a
# timestamp server that does not answer included, fails the build step and removes the unsigned file.
function(setup_sign_after_link target)
  cmake_parse_arguments(ARG "" "CERT;KEY;PASSWORD_FILE;TIMESTAMP_URL;DESCRIPTION;URL" "" ${ARGN})
  setup_check_signing("${target}" "${ARG_CERT}" "${ARG_KEY}" "${ARG_PASSWORD_FILE}" "${ARG_TIMESTAMP_URL}")
  setup_signing_is_pkcs12(pkcs12 "${ARG_CERT}")
  if(pkcs12)
    set(args --pkcs12 ${ARG_CERT})
  else()
    set(args --cert ${ARG_CERT} --key ${ARG_KEY})
  endif()
  foreach(pair "PASSWORD_FILE;--password-file" "TIMESTAMP_URL;--timestamp" "DESCRIPTION;--description" "URL;--url")
    list(GET pair 0 name)
    list(GET pair 1 flag)
    if(ARG_${name})
      list(APPEND args ${flag} ${ARG_${name}})
    endif()
  endforeach()
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND bash ${SETUP_SIGN_TOOL} $<TARGET_FILE:${target}> ${args}
    COMMENT "Signing ${target}"
    VERBATIM)
endfunction()
