# The account texts that the launcher carries (string ids 32000 to 32002): the database user, the
# database password (also the pass phrase of the encrypted database archive) and a spare entry.
# Each is stored scrambled with the built-in key; a text equal to NONE (any letter case) is stored
# as it is and means that no value is set. The build writes them into a header for the code and
# into a string table for the Windows resource file, both under build/generated.

set(TRAILHOST_ACCOUNT_USER "NONE" CACHE STRING
    "Database user name the launcher passes to the database server (string 32000); NONE for root")
set(TRAILHOST_ACCOUNT_PASSWORD "NONE" CACHE STRING
    "Database password, also the pass phrase of dbdir.aes (string 32001); NONE for none")
set(TRAILHOST_ACCOUNT_SPARE "NONE" CACHE STRING "Spare account text (string 32002); NONE for none")

set(TRAILHOST_SCRAMBLE_KEY "TheRiverRunsDeepAndSlowly")
# A text whose scrambled form the tests compare with the program's own scrambling.
set(TRAILHOST_SCRAMBLE_SAMPLE "~~~~~~~~~~~~~~~~~~~~~~~~~ Pass phrase 1! 0-9 A-Z a-z")

set(_trh_hex_digits 0 1 2 3 4 5 6 7 8 9 a b c d e f)

# Byte i of the result is byte i of `text` plus (byte i modulo 25 of the key minus 48), kept to
# eight bits. `out_c` gets a C string literal body, `out_rc` a resource-compiler wide string body
# in which every byte is the UTF-16 unit of the same value, so that no code page is involved.
function(trailhost_scramble text out_c out_rc)
  string(TOUPPER "${text}" upper)
  string(HEX "${text}" hex)
  string(LENGTH "${hex}" hex_length)
  if(upper STREQUAL "NONE")
    set(offsets_apply OFF)
  else()
    set(offsets_apply ON)
  endif()
  string(HEX "${TRAILHOST_SCRAMBLE_KEY}" key_hex)
  string(LENGTH "${TRAILHOST_SCRAMBLE_KEY}" key_length)
  set(c "")
  set(rc "")
  set(i 0)
  set(pos 0)
  while(pos LESS hex_length)
    string(SUBSTRING "${hex}" ${pos} 2 pair)
    math(EXPR value "0x${pair}")
    if(offsets_apply)
      math(EXPR key_pos "(${i} % ${key_length}) * 2")
      string(SUBSTRING "${key_hex}" ${key_pos} 2 key_pair)
      math(EXPR value "(${value} + 0x${key_pair} - 48) & 255")
    endif()
    if(value EQUAL 0)
      message(FATAL_ERROR "An account text would hold a zero byte once scrambled: choose another")
    endif()
    math(EXPR high "${value} / 16")
    math(EXPR low "${value} % 16")
    list(GET _trh_hex_digits ${high} h)
    list(GET _trh_hex_digits ${low} l)
    string(APPEND c "\\x${h}${l}")
    string(APPEND rc "\\x00${h}${l}")
    math(EXPR i "${i} + 1")
    math(EXPR pos "${pos} + 2")
  endwhile()
  set(${out_c} "${c}" PARENT_SCOPE)
  set(${out_rc} "${rc}" PARENT_SCOPE)
endfunction()

trailhost_scramble("${TRAILHOST_ACCOUNT_USER}" TRH_TEXT_32000_C TRH_TEXT_32000_RC)
trailhost_scramble("${TRAILHOST_ACCOUNT_PASSWORD}" TRH_TEXT_32001_C TRH_TEXT_32001_RC)
trailhost_scramble("${TRAILHOST_ACCOUNT_SPARE}" TRH_TEXT_32002_C TRH_TEXT_32002_RC)
trailhost_scramble("${TRAILHOST_SCRAMBLE_SAMPLE}" TRH_SAMPLE_C TRH_SAMPLE_RC)

set(TRAILHOST_GENERATED ${CMAKE_BINARY_DIR}/generated)
configure_file(${CMAKE_CURRENT_LIST_DIR}/account_texts_data.h.in
               ${TRAILHOST_GENERATED}/account_texts_data.h @ONLY)
configure_file(${CMAKE_CURRENT_LIST_DIR}/account_texts.rc.in
               ${TRAILHOST_GENERATED}/account_texts.rc @ONLY)
configure_file(${CMAKE_CURRENT_LIST_DIR}/account_texts_sample.rc.in
               ${TRAILHOST_GENERATED}/account_texts_sample.rc @ONLY)
