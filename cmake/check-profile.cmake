# Runs the profile checks on values given with -D, without configuring a build:
#   cmake -DUPDATER_HARDWARE_ID=... [-DUPDATER_FIRMWARE_IMAGE=...] -P cmake/check-profile.cmake
include(${CMAKE_CURRENT_LIST_DIR}/UpdaterProfileCheck.cmake)
get_filename_component(top "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
foreach(pair
    "UPDATER_LICENSE_EN;${top}/res/license/eula-en.txt"
    "UPDATER_LICENSE_JA;${top}/res/license/eula-ja.txt"
    "UPDATER_ACCESS_METHOD;PrintClass"
    "UPDATER_MODEL_NAME;TORVAEL prismatone 3350N"
    "UPDATER_VERSION_TEXT;V1.05"
    "UPDATER_MAKER;TORVAEL")
  list(GET pair 0 name)
  list(GET pair 1 value)
  if(NOT DEFINED ${name})
    set(${name} "${value}")
  endif()
endforeach()
updater_check_profile()
message(STATUS "profile accepted, file version ${UPDATER_VERSION_NUMBERS}")
