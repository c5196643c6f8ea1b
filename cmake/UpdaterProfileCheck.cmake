# Checks of a per-model profile. Kept free of project() state so the same checks
# run inside the build and on their own (cmake -P cmake/check-profile.cmake).

# The hardware id is matched as text against the ids Windows reports and its
# vendor and product digits are read from fixed positions, so its shape is fixed.
function(updater_check_hardware_id id)
  set(hex "[0-9A-F]")
  set(shape "^USB\\\\VID_${hex}${hex}${hex}${hex}&PID_${hex}${hex}${hex}${hex}")
  if(NOT id MATCHES "${shape}")
    message(FATAL_ERROR
      "UPDATER_HARDWARE_ID \"${id}\" is not a USB hardware id of the form "
      "USB\\VID_xxxx&PID_xxxx (four upper-case hexadecimal digits each, an optional "
      "suffix such as &MI_01 may follow).")
  endif()
  string(LENGTH "${id}" length)
  if(length GREATER 63)
    message(FATAL_ERROR
      "UPDATER_HARDWARE_ID is ${length} characters long; the port keeps at most 63.")
  endif()
endfunction()

function(updater_check_file what path)
  if(NOT EXISTS "${path}" OR IS_DIRECTORY "${path}")
    message(FATAL_ERROR "${what} \"${path}\" does not exist or is not a file.")
  endif()
endfunction()

# Printer firmware is a few megabytes at most; anything this large is a wrong file.
set(UPDATER_IMAGE_LIMIT 268435456)

function(updater_check_image path)
  updater_check_file(UPDATER_FIRMWARE_IMAGE "${path}")
  file(SIZE "${path}" size)
  if(size GREATER ${UPDATER_IMAGE_LIMIT})
    message(FATAL_ERROR
      "UPDATER_FIRMWARE_IMAGE \"${path}\" is ${size} bytes, over the 256 MiB limit: "
      "this is not a printer firmware image.")
  endif()
endfunction()

# Everything a profile sets; the image only when one was supplied (the placeholder
# is generated at build time).
function(updater_check_profile)
  updater_check_hardware_id("${UPDATER_HARDWARE_ID}")
  if(UPDATER_FIRMWARE_IMAGE)
    updater_check_image("${UPDATER_FIRMWARE_IMAGE}")
  endif()
  updater_check_file(UPDATER_LICENSE_EN "${UPDATER_LICENSE_EN}")
  updater_check_file(UPDATER_LICENSE_JA "${UPDATER_LICENSE_JA}")
  foreach(text UPDATER_ACCESS_METHOD UPDATER_MODEL_NAME UPDATER_VERSION_TEXT)
    if("${${text}}" STREQUAL "")
      message(FATAL_ERROR "${text} must not be empty.")
    endif()
  endforeach()
endfunction()
