# Cross-compiling the 32-bit Windows executable with Debian's mingw-w64.
# The win32-threads compilers keep the static executable free of libwinpthread.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${MINGW_PREFIX}-gcc-win32)
set(CMAKE_CXX_COMPILER ${MINGW_PREFIX}-g++-win32)
set(CMAKE_RC_COMPILER ${MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Anyone who builds one commit gets the same bytes: no link time stamp in the
# PE header, and no build directory in anything the compiler records.
get_filename_component(UPDATER_SOURCE_ROOT "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
set(UPDATER_REPRODUCIBLE_FLAGS "-ffile-prefix-map=${UPDATER_SOURCE_ROOT}=.")
set(CMAKE_C_FLAGS_INIT "${UPDATER_REPRODUCIBLE_FLAGS}")
set(CMAKE_CXX_FLAGS_INIT "${UPDATER_REPRODUCIBLE_FLAGS}")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-Wl,--no-insert-timestamp")
