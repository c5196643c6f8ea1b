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

# The file's version number, from the version text: its one run of decimal
# numbers joined by dots, at most four of them, each a whole number of at most
# 65535 ("V1.05" is 1.5.0.0: leading zeros count for nothing, so a maker's
# scheme keeps its width). A text with no number, or with two (which would be
# the version?), is refused rather than guessed at. Sets `out` to "1,5,0,0".
function(updater_version_numbers text out)
  string(REGEX MATCHALL "[0-9]+(\\.[0-9]+)*" runs "${text}")
  list(LENGTH runs count)
  if(NOT count EQUAL 1)
    message(FATAL_ERROR
      "UPDATER_VERSION_TEXT \"${text}\" holds ${count} numbers; the file's version is "
      "read from exactly one, such as 1.05 in V1.05.")
  endif()
  string(REPLACE "." ";" parts "${runs}")
  list(LENGTH parts count)
  set(numbers "")
  foreach(part IN LISTS parts)
    string(REGEX REPLACE "^0+([0-9])" "\\1" part "${part}")
    string(LENGTH "${part}" digits)
    if(count GREATER 4 OR digits GREATER 5 OR part GREATER 65535)
      message(FATAL_ERROR
        "UPDATER_VERSION_TEXT \"${text}\": a file's version has at most four parts of "
        "at most 65535 each.")
    endif()
    list(APPEND numbers ${part})
  endforeach()
  while(count LESS 4)
    list(APPEND numbers 0)
    math(EXPR count "${count} + 1")
  endwhile()
  list(JOIN numbers "," numbers)
  set(${out} "${numbers}" PARENT_SCOPE)
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
  foreach(text UPDATER_ACCESS_METHOD UPDATER_MODEL_NAME UPDATER_VERSION_TEXT UPDATER_MAKER)
    if("${${text}}" STREQUAL "")
      message(FATAL_ERROR "${text} must not be empty.")
    endif()
  endforeach()
  updater_version_numbers("${UPDATER_VERSION_TEXT}" numbers)
  set(UPDATER_VERSION_NUMBERS "${numbers}" PARENT_SCOPE)
endfunction()
