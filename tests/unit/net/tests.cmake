tovarinth_add_test(test_threads_timing net/ThreadsAndTimingTest.cpp TIMEOUT 60)
tovarinth_add_test(test_probe net/ProbeTest.cpp TIMEOUT 60)
tovarinth_add_test(test_download net/cDownloadTest.cpp TIMEOUT 120)

# The thread record once more, on its own under ThreadSanitizer: the record
# is the one thing two threads share, and a race there would not show in the
# normal build. Built from the thread and meter sources only, so it costs
# seconds and does not need a second build of everything.
if(NOT TOVARINTH_TSAN)
  add_executable(test_thread_tsan net/ThreadsAndTimingTest.cpp
    ${PROJECT_SOURCE_DIR}/src/net/cThread.cpp ${PROJECT_SOURCE_DIR}/src/net/cTimeCount.cpp)
  target_include_directories(test_thread_tsan PRIVATE ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(test_thread_tsan PRIVATE GTest::gtest_main Threads::Threads)
  set(tsan_flags -fsanitize=thread -fno-omit-frame-pointer)
  set_property(TARGET test_thread_tsan PROPERTY COMPILE_OPTIONS -Wall -Wextra -Wpedantic ${tsan_flags})
  set_property(TARGET test_thread_tsan PROPERTY LINK_OPTIONS ${tsan_flags})
  add_test(NAME test_thread_tsan COMMAND test_thread_tsan)
  set_tests_properties(test_thread_tsan PROPERTIES
    ENVIRONMENT "TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1" TIMEOUT 120)
endif()
