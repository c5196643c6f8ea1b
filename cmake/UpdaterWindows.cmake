# What every Windows program of the project shares: Windows 7's API (the oldest
# system supported), and the C and C++ runtimes linked in, so that it needs no
# DLL beyond the system's.
set(UPDATER_WIN32_WINNT 0x0601)
function(updater_windows_program target)
  target_compile_definitions(${target} PRIVATE _WIN32_WINNT=${UPDATER_WIN32_WINNT})
  target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++)
endfunction()
