# vq_check_public_keys(FILE OPENSSL): stops with a clear message unless FILE
# holds one or more PKCS#1 "-----BEGIN RSA PUBLIC KEY-----" blocks and
# nothing else, each an RSA key of 2048, 3072 or 4096 bits that the openssl
# command OPENSSL reads. Several keys let a publisher rotate signing keys:
# agents built with the old and the new key accept answers signed by either.
#
# Also usable as a script, which the tests use:
#   cmake -DKEY_FILE=keys.pem -DOPENSSL=/usr/bin/openssl -P vq_public_keys.cmake
function(vq_check_public_keys file openssl)
  if(NOT EXISTS "${file}")
    message(FATAL_ERROR "VQ_SERVER_PUBLIC_KEY_FILE (${file}) does not exist")
  endif()
  file(READ "${file}" text)
  set(block_pattern "-----BEGIN RSA PUBLIC KEY-----\n[A-Za-z0-9+/=\n]+-----END RSA PUBLIC KEY-----\n?")
  string(REGEX MATCHALL "${block_pattern}" blocks "${text}")
  string(REGEX REPLACE "${block_pattern}" "" rest "${text}")
  string(STRIP "${rest}" rest)
  list(LENGTH blocks count)
  if(count EQUAL 0)
    message(FATAL_ERROR "VQ_SERVER_PUBLIC_KEY_FILE (${file}) holds no \"-----BEGIN RSA PUBLIC KEY-----\" block: the agent would trust no server")
  endif()
  if(NOT rest STREQUAL "")
    message(FATAL_ERROR "VQ_SERVER_PUBLIC_KEY_FILE (${file}) must hold only \"-----BEGIN RSA PUBLIC KEY-----\" blocks")
  endif()
  string(RANDOM LENGTH 12 scratch_name)
  set(scratch "${CMAKE_CURRENT_BINARY_DIR}/vq_key_check_${scratch_name}.pem")
  set(index 0)
  foreach(block IN LISTS blocks)
    math(EXPR index "${index} + 1")
    file(WRITE "${scratch}" "${block}")
    execute_process(
      COMMAND ${openssl} rsa -RSAPublicKey_in -in ${scratch} -noout -text
      RESULT_VARIABLE result OUTPUT_VARIABLE details ERROR_VARIABLE error)
    file(REMOVE "${scratch}")
    if(NOT result EQUAL 0)
      message(FATAL_ERROR "VQ_SERVER_PUBLIC_KEY_FILE (${file}): key ${index} of ${count} is not a PKCS#1 RSA public key: ${error}")
    endif()
    if(NOT details MATCHES "Public-Key: \\((2048|3072|4096) bit\\)")
      message(FATAL_ERROR "VQ_SERVER_PUBLIC_KEY_FILE (${file}): key ${index} of ${count} is not a 2048, 3072 or 4096-bit RSA key")
    endif()
  endforeach()
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  vq_check_public_keys("${KEY_FILE}" "${OPENSSL}")
  message(STATUS "usable public keys in ${KEY_FILE}")
endif()
