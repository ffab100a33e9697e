# Run by CPack after the staging install and before the ZIP is made
# (CPACK_PRE_BUILD_SCRIPTS): signs the staged setup.exe and Uninstal.exe with
# Authenticode when the publisher names a certificate. Only the staged copies
# are signed; the build's own stay as linked, for the tests and the artefact
# check.
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
signing_setting(MORVALEN_SIGN_TIMESTAMP_TIMEOUT timeout)
# A ZIP of an earlier run must not outlive a signing that fails.
file(REMOVE "${CPACK_PACKAGE_DIRECTORY}/${CPACK_PACKAGE_FILE_NAME}.zip")

if(NOT pkcs12 AND NOT cert AND NOT key)
  message(WARNING "setup.exe and Uninstal.exe in ${CPACK_PACKAGE_FILE_NAME}.zip are UNSIGNED: no certificate named "
    "(MORVALEN_SIGN_PKCS12, or MORVALEN_SIGN_CERT with MORVALEN_SIGN_KEY).")
  return()
endif()
if(pkcs12 AND (cert OR key))
  message(FATAL_ERROR "Name either MORVALEN_SIGN_PKCS12 or MORVALEN_SIGN_CERT with MORVALEN_SIGN_KEY, not both.")
endif()
if(NOT pkcs12 AND NOT (cert AND key))
  message(FATAL_ERROR "MORVALEN_SIGN_CERT and MORVALEN_SIGN_KEY are named together.")
endif()
if(timeout STREQUAL "")
  set(timeout 60)
endif()
if(NOT timeout MATCHES "^[1-9][0-9]*$")
  message(FATAL_ERROR "MORVALEN_SIGN_TIMESTAMP_TIMEOUT is a whole number of seconds, not \"${timeout}\".")
endif()
find_program(OSSLSIGNCODE osslsigncode)
if(NOT OSSLSIGNCODE)
  message(FATAL_ERROR "A certificate is named but osslsigncode is not installed (bash scripts/bootstrap.sh).")
endif()

find_program(PYTHON3 python3)
if(NOT PYTHON3)
  message(FATAL_ERROR "Signing needs python3 (bash scripts/bootstrap.sh).")
endif()

if(pkcs12)
  set(credentials -pkcs12 "${pkcs12}")
else()
  set(credentials -certs "${cert}" -key "${key}")
endif()
set(helper "${CMAKE_CURRENT_LIST_DIR}/authenticode.py")

# authenticode.py runs osslsigncode. It hands the password over in a file
# rather than on the command line, which every user of the machine can see:
# one given in the environment goes into a file of mode 0600 in a private
# folder outside the build tree, removed when the step ends. A timestamp
# keeps the signature valid after the certificate expires; each server named
# is tried in turn, for at most `timeout` seconds each, and the one that
# answered is printed.
function(sign_staged name description)
  set(staged "${CPACK_TEMPORARY_DIRECTORY}/${name}")
  if(NOT EXISTS "${staged}")
    message(FATAL_ERROR "${name} is not among the staged files to sign.")
  endif()
  execute_process(
    COMMAND "${PYTHON3}" "${helper}" sign "${OSSLSIGNCODE}" "${staged}" "${staged}.signed" "${password_file}"
            "${timestamps}" "${timeout}" -- ${credentials} -h sha256 -n "${description}"
    RESULT_VARIABLE status OUTPUT_VARIABLE answered ERROR_VARIABLE output OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "Signing ${name} failed:\n${output}")
  endif()
  file(RENAME "${staged}.signed" "${staged}")
  # "Signed" is measured, not assumed: the staged file must carry a signature
  # whose digest is that of its image, and a timestamp of that signature
  # when a server was named.
  if(timestamps)
    set(required timestamped)
  endif()
  execute_process(COMMAND "${PYTHON3}" "${helper}" check "${staged}" ${required}
    RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "The signed ${name} does not hold its signature:\n${output}")
  endif()
  if(answered)
    message(STATUS "${name} signed (Authenticode, SHA-256) with ${pkcs12}${cert}, timestamped by ${answered}")
  else()
    message(STATUS "${name} signed (Authenticode, SHA-256) with ${pkcs12}${cert}, without a timestamp")
  endif()
  set(answered "${answered}" PARENT_SCOPE)
endfunction()

sign_staged(setup.exe "Morvalen Setup")
# The server that answered goes first for the next file, so that one that
# does not answer costs its time once.
if(answered)
  list(REMOVE_ITEM timestamps "${answered}")
  list(PREPEND timestamps "${answered}")
endif()
sign_staged(Uninstal.exe "Morvalen Uninstaller")
