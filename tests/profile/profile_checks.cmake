# Each case configures a profile check with one bad (or good) value and expects
# it refused with a message that names the problem, or accepted.
#   cmake -DTOP=<source> -DWORK=<scratch dir> -P profile_checks.cmake
file(MAKE_DIRECTORY ${WORK})
set(huge ${WORK}/huge.bin)
set(normal ${WORK}/normal.bin)
# A sparse file: a byte over 256 MiB without writing 256 MiB.
file(REMOVE ${huge})
execute_process(COMMAND truncate -s 268435457 ${huge} RESULT_VARIABLE made)
file(WRITE ${normal} "firmware")

set(passed 0)
set(failed 0)
function(expect name outcome pattern)
  execute_process(
    COMMAND ${CMAKE_COMMAND} ${ARGN} -P ${TOP}/cmake/check-profile.cmake
    RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
  string(REGEX REPLACE "[ \n]+" " " out "${out}")
  if(outcome STREQUAL "refused" AND NOT result EQUAL 0 AND out MATCHES "${pattern}")
    math(EXPR passed "${passed} + 1")
  elseif(outcome STREQUAL "accepted" AND result EQUAL 0 AND (pattern STREQUAL "" OR out MATCHES "${pattern}"))
    math(EXPR passed "${passed} + 1")
  else()
    message("FAIL: ${name}: expected ${outcome} (${pattern}), got ${result}: ${out}")
    math(EXPR failed "${failed} + 1")
  endif()
  set(passed ${passed} PARENT_SCOPE)
  set(failed ${failed} PARENT_SCOPE)
endfunction()

set(good "-DUPDATER_HARDWARE_ID=USB\\VID_7C5E&PID_4A86")
expect("shipped id" accepted "" ${good})
expect("id with interface suffix" accepted "" "-DUPDATER_HARDWARE_ID=USB\\VID_7C5E&PID_4A83&MI_01")
expect("lower-case digits" refused "not a USB hardware id" "-DUPDATER_HARDWARE_ID=USB\\VID_7c5e&PID_4A86")
expect("missing product" refused "not a USB hardware id" "-DUPDATER_HARDWARE_ID=USB\\VID_7C5E")
expect("three digits" refused "not a USB hardware id" "-DUPDATER_HARDWARE_ID=USB\\VID_7C5&PID_4A86")
expect("no backslash" refused "not a USB hardware id" "-DUPDATER_HARDWARE_ID=USBVID_7C5E&PID_4A86")
# 27 characters before the padding.
string(REPEAT "x" 36 pad36)
expect("63 characters" accepted "" "-DUPDATER_HARDWARE_ID=USB\\VID_7C5E&PID_4A86&MI_01${pad36}")
expect("64 characters" refused "64 characters long" "-DUPDATER_HARDWARE_ID=USB\\VID_7C5E&PID_4A86&MI_01${pad36}x")
expect("missing image" refused "does not exist" ${good} -DUPDATER_FIRMWARE_IMAGE=${WORK}/none.bin)
expect("image over 256 MiB" refused "over the 256 MiB limit" ${good} -DUPDATER_FIRMWARE_IMAGE=${huge})
expect("image of normal size" accepted "" ${good} -DUPDATER_FIRMWARE_IMAGE=${normal})
expect("missing English licence" refused "UPDATER_LICENSE_EN.*does not exist" ${good}
       -DUPDATER_LICENSE_EN=${WORK}/none.txt)
expect("missing Japanese licence" refused "UPDATER_LICENSE_JA.*does not exist" ${good}
       -DUPDATER_LICENSE_JA=${WORK}/none.txt)
# The file's version is the version text's one number.
expect("version V1.05" accepted "file version 1,5,0,0" ${good})
expect("version of four parts" accepted "file version 2,0,10,65535" ${good} "-DUPDATER_VERSION_TEXT=Ver. 2.00.10.65535")
expect("version without a number" refused "holds 0 numbers" ${good} -DUPDATER_VERSION_TEXT=Beta)
expect("version with two numbers" refused "holds 2 numbers" ${good} "-DUPDATER_VERSION_TEXT=V1.05 build 3")
expect("version of five parts" refused "at most four parts" ${good} -DUPDATER_VERSION_TEXT=1.2.3.4.5)
expect("version part over 65535" refused "at most 65535" ${good} -DUPDATER_VERSION_TEXT=V65536.1)
expect("no maker" refused "UPDATER_MAKER must not be empty" ${good} -DUPDATER_MAKER=)
file(REMOVE ${huge})

message("${passed} passed, ${failed} failed")
if(failed GREATER 0)
  message(FATAL_ERROR "profile checks failed")
endif()
