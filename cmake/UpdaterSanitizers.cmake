# Native builds only: the sanitizers apply to every target, the tests and the
# test framework included, so that nothing runs uninstrumented.
if(UPDATER_SANITIZER STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(UPDATER_SANITIZER STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(UPDATER_SANITIZER STREQUAL "fuzzer")
  # clang only: coverage for libFuzzer everywhere, its driver linked into the
  # fuzz targets alone (fuzz/CMakeLists.txt).
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(NOT UPDATER_SANITIZER STREQUAL "")
  message(FATAL_ERROR "UPDATER_SANITIZER must be empty, address, thread or fuzzer")
endif()
