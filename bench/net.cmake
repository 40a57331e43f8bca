# Download throughput and event-loop responsiveness against the local vendor
# site. The site helper of the tests is compiled in directly, since the
# benchmark build has no test targets.
add_executable(bench_net_download NetDownloadBench.cpp
  ${PROJECT_SOURCE_DIR}/tests/support/LocalSite.h ${PROJECT_SOURCE_DIR}/tests/support/LocalSite.cpp
  ${PROJECT_SOURCE_DIR}/tests/support/FakeView.h ${PROJECT_SOURCE_DIR}/tests/support/FakeView.cpp)
target_include_directories(bench_net_download PRIVATE ${PROJECT_SOURCE_DIR}/tests)
target_compile_definitions(bench_net_download PRIVATE
  TOVARINTH_VENDOR_TOOL="$<TARGET_FILE:tovarinth-vendor>")
target_link_libraries(bench_net_download PRIVATE tovarinth_core benchmark::benchmark PkgConfig::CURL)
add_dependencies(bench_net_download tovarinth-vendor)
