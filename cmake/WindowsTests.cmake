# The port layer's platform-neutral tests built for Windows and run by ctest
# under Wine, against Wine's own Winsock, ICMP service, threads and heaps.
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
include(${PROJECT_SOURCE_DIR}/cmake/GoogleTest.cmake)

set(UPDATER_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine-prefix)
set(UPDATER_WINE_RUN ${PROJECT_SOURCE_DIR}/cmake/wine-test-run)
set(CMAKE_CROSSCOMPILING_EMULATOR ${UPDATER_WINE_RUN} ${UPDATER_WINE_PREFIX})

# One prefix for the whole run, made first and its server ended last.
add_test(NAME wine_prefix COMMAND ${UPDATER_WINE_RUN} ${UPDATER_WINE_PREFIX} --boot)
set_tests_properties(wine_prefix PROPERTIES FIXTURES_SETUP wine TIMEOUT 120)
add_test(NAME wine_server_end COMMAND ${UPDATER_WINE_RUN} ${UPDATER_WINE_PREFIX} --end)
set_tests_properties(wine_server_end PROPERTIES FIXTURES_CLEANUP wine)

set(UPDATER_TESTS ${PROJECT_SOURCE_DIR}/tests)
function(windows_test name)
  add_executable(${name} ${ARGN})
  target_include_directories(${name} PRIVATE ${UPDATER_TESTS}/support/windows)
  target_link_libraries(${name} PRIVATE GTest::gtest_main updater_transfer)
  updater_windows_program(${name})
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine RESOURCE_LOCK wine)
endfunction()

windows_test(windows_network_test ${UPDATER_TESTS}/port/network_port_test.cpp
             ${UPDATER_TESTS}/port/network_setters_test.cpp
             ${UPDATER_TESTS}/port/network_counts_windows.cpp)
windows_test(windows_port_setters_test ${UPDATER_TESTS}/port/port_setters_test.cpp)
windows_test(windows_hex_id_test ${UPDATER_TESTS}/transfer/parse_hex_id_test.cpp)

# Echoes that go unanswered need a network of the test's own (and root).
add_test(NAME windows_network_unanswered_test
  COMMAND ${UPDATER_WINE_RUN} ${CMAKE_BINARY_DIR}/wine-prefix-unanswered --unanswered
          $<TARGET_FILE:windows_network_test> --gtest_filter=*Unanswered*)
set_tests_properties(windows_network_unanswered_test PROPERTIES TIMEOUT 180 RESOURCE_LOCK wine
                     FAIL_REGULAR_EXPRESSION "SKIPPED|FAILED")
