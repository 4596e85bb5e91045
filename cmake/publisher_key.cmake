# The publisher's public key: with it, the installer accepts only texts and
# files that key signed; without it (the default), it takes the servers'
# answers as they are. The key comes as a PEM public key (ECDSA P-256, as
# `openssl pkey -pubout` writes it) and is compiled in as its X||Y bytes.
set(PUBLISHER_KEY_FILE "" CACHE FILEPATH "PEM public key (ECDSA P-256) of the publisher; empty: unkeyed")

set(PUBLISHER_KEY_HEX "")
set(PUBLISHER_KEY_BYTES "")
if(PUBLISHER_KEY_FILE)
  find_program(OPENSSL_EXECUTABLE openssl REQUIRED)
  set(der ${CMAKE_BINARY_DIR}/publisher_key.der)
  execute_process(COMMAND ${OPENSSL_EXECUTABLE} pkey -pubin -in ${PUBLISHER_KEY_FILE} -outform DER -out ${der}
                  RESULT_VARIABLE rc OUTPUT_QUIET ERROR_QUIET)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "PUBLISHER_KEY_FILE=${PUBLISHER_KEY_FILE} is not a PEM public key (give the .pub file, never the private key)")
  endif()
  file(READ ${der} spki HEX)
  file(REMOVE ${der})
  # A P-256 public key's DER form is a fixed 27-byte prefix, then X and Y.
  set(prefix "3059301306072a8648ce3d020106082a8648ce3d03010703420004")
  string(LENGTH "${spki}" len)
  string(FIND "${spki}" "${prefix}" at)
  if(NOT len EQUAL 182 OR NOT at EQUAL 0)
    message(FATAL_ERROR "PUBLISHER_KEY_FILE=${PUBLISHER_KEY_FILE} is not an ECDSA P-256 public key")
  endif()
  string(SUBSTRING "${spki}" 54 128 PUBLISHER_KEY_HEX)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," PUBLISHER_KEY_BYTES "${PUBLISHER_KEY_HEX}")
  string(REGEX REPLACE ",$" "" PUBLISHER_KEY_BYTES "${PUBLISHER_KEY_BYTES}")
endif()

# For the version resource: the key's hex digits, or "none".
if(PUBLISHER_KEY_HEX)
  set(key_text "${PUBLISHER_KEY_HEX}")
else()
  set(key_text "none")
endif()
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/generated/online_setup_key.h CONTENT
"#define ONLINE_SETUP_PUBLISHER_KEY \"${key_text}\\0\"
")
