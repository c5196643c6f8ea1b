# The Windows test programs: the same target as the executable, but the
# posix-threads compilers, whose C++ library has the std::mutex GoogleTest
# needs. Linked statically, they need no DLL of the compiler's either.
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-i686.cmake)
set(CMAKE_C_COMPILER ${MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_PREFIX}-g++-posix)
