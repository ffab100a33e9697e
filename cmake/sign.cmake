# Run by CPack after the staging install and before the ZIP is made
# (CPACK_PRE_BUILD_SCRIPTS): signs the staged setup.exe with Authenticode
# when the publisher names a certificate. Only the staged copy is signed; the
# build's own setup.exe stays as linked, for the tests and the artefact check.
#
# Each setting is read from the environment when cpack runs, or else from
# the cache variable of the same name (which CMakeLists.txt hands over as
# CPACK_<name>). The password only ever comes from the environment or a file.

function(signing_setting name out)
  if(NOT "$ENV{${name}}" STREQUAL "")
    set(${out} "$ENV{${name}}" PARENT_SCOPE)
  else()
    set(${out} "${CPACK_${name}}" PARENT_SCOPE)
  endif()
endfunction()

signing_setting(MORVALEN_SIGN_PKCS12 pkcs12)
signing_setting(MORVALEN_SIGN_CERT cert)
signing_setting(MORVALEN_SIGN_KEY key)
signing_setting(MORVALEN_SIGN_PASSWORD_FILE password_file)
signing_setting(MORVALEN_SIGN_TIMESTAMP timestamps)
set(setup "${CPACK_TEMPORARY_DIRECTORY}/setup.exe")
# A ZIP of an earlier run must not outlive a signing that fails.
file(REMOVE "${CPACK_PACKAGE_DIRECTORY}/${CPACK_PACKAGE_FILE_NAME}.zip")

if(NOT pkcs12 AND NOT cert AND NOT key)
  message(WARNING "setup.exe in ${CPACK_PACKAGE_FILE_NAME}.zip is UNSIGNED: no certificate named "
    "(MORVALEN_SIGN_PKCS12, or MORVALEN_SIGN_CERT with MORVALEN_SIGN_KEY).")
  return()
endif()
if(pkcs12 AND (cert OR key))
  message(FATAL_ERROR "Name either MORVALEN_SIGN_PKCS12 or MORVALEN_SIGN_CERT with MORVALEN_SIGN_KEY, not both.")
endif()
if(NOT pkcs12 AND NOT (cert AND key))
  message(FATAL_ERROR "MORVALEN_SIGN_CERT and MORVALEN_SIGN_KEY are named together.")
endif()
find_program(OSSLSIGNCODE osslsigncode)
if(NOT OSSLSIGNCODE)
  message(FATAL_ERROR "A certificate is named but osslsigncode is not installed (bash scripts/bootstrap.sh).")
endif()

if(pkcs12)
  set(credentials -pkcs12 "${pkcs12}")
else()
  set(credentials -certs "${cert}" -key "${key}")
endif()
# osslsigncode reads the password from a file rather than from its command
# line, which every user of the machine can see. One given in the environment
# goes into a file in a folder that only its owner can enter, gone after use.
set(private "${CPACK_TOPLEVEL_DIRECTORY}/signing")
file(REMOVE_RECURSE "${private}")
if(NOT "$ENV{MORVALEN_SIGN_PASSWORD}" STREQUAL "")
  file(MAKE_DIRECTORY "${private}")
  file(CHMOD "${private}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
  set(password_file "${private}/password")
  file(WRITE "${password_file}" "$ENV{MORVALEN_SIGN_PASSWORD}")
endif()
if(password_file)
  list(APPEND credentials -readpass "${password_file}")
endif()
# A timestamp keeps the signature valid after the certificate expires; each
# server named is tried in turn.
set(stamping)
foreach(url IN LISTS timestamps)
  list(APPEND stamping -ts "${url}")
endforeach()

file(REMOVE "${setup}.signed")
execute_process(
  COMMAND "${OSSLSIGNCODE}" sign ${credentials} -h sha256 -n "Morvalen Setup" ${stamping}
          -in "${setup}" -out "${setup}.signed"
  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
file(REMOVE_RECURSE "${private}")
if(NOT status EQUAL 0)
  file(REMOVE "${setup}.signed")
  message(FATAL_ERROR "Signing setup.exe failed (osslsigncode: ${status}):\n${output}")
endif()
file(RENAME "${setup}.signed" "${setup}")
if(timestamps)
  message(STATUS "setup.exe signed (Authenticode, SHA-256) with ${pkcs12}${cert}, timestamped by ${timestamps}")
else()
  message(STATUS "setup.exe signed (Authenticode, SHA-256) with ${pkcs12}${cert}, without a timestamp")
endif()
