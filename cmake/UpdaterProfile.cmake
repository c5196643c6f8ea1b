# The per-model profile: everything that makes this the updater of one printer.
# The defaults are the shipped model; another model's updater is the same tree
# configured with other values.
include(${CMAKE_CURRENT_LIST_DIR}/UpdaterProfileCheck.cmake)

set(UPDATER_FIRMWARE_IMAGE "" CACHE FILEPATH
  "Firmware image to carry (empty: a generated placeholder of 1,018,816 bytes)")
set(UPDATER_LICENSE_EN "${PROJECT_SOURCE_DIR}/res/license/eula-en.txt" CACHE FILEPATH
  "English licence agreement, 7-bit ASCII with CR LF line ends")
set(UPDATER_LICENSE_JA "${PROJECT_SOURCE_DIR}/res/license/eula-ja.txt" CACHE FILEPATH
  "Japanese licence agreement, Shift-JIS with CR LF line ends")
set(UPDATER_HARDWARE_ID "USB\\VID_7C5E&PID_4A86" CACHE STRING
  "USB hardware id of the printer, USB\\VID_xxxx&PID_xxxx[suffix]")
set(UPDATER_ACCESS_METHOD "PrintClass" CACHE STRING
  "PrintClass for the USB printer-class driver; anything else for the still-image driver")
set(UPDATER_MODEL_NAME "TORVAEL prismatone 3350N" CACHE STRING "Model name shown in the caption")
set(UPDATER_VERSION_TEXT "V1.05" CACHE STRING
  "Version text shown in the caption; its number is the file's version (V1.05: 1.5.0.0)")
set(UPDATER_MAKER "TORVAEL" CACHE STRING "The printer's maker, the company in the file's version details")
set(UPDATER_PLACEHOLDER_IMAGE_SIZE 1018816)

updater_check_profile()
