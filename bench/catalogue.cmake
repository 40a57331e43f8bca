# The windows' benchmarks: the main list's rebuild and the model browser,
# each against a bare QTreeWidget filled in the same run. They need the
# windows, so they are built with them only.
if(TOVARINTH_GUI)
  # The tests' scripted prompt is compiled in directly, since the benchmark
  # build has no test targets.
  set(window_bench_support BenchSupport.h
    ${PROJECT_SOURCE_DIR}/tests/support/FakeView.h ${PROJECT_SOURCE_DIR}/tests/support/FakeView.cpp)
  add_executable(bench_catalogue CatalogueBench.cpp ${window_bench_support})
  add_executable(bench_models ModelsBench.cpp ${window_bench_support})
  foreach(bench bench_catalogue bench_models)
    target_include_directories(${bench} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
    target_link_libraries(${bench} PRIVATE tovarinth_windows benchmark::benchmark)
  endforeach()
endif()

# The baseline of scripts/cost.sh: a window with one label, traced like the
# manager. Not a benchmark of its own (no bench_ prefix).
if(TOVARINTH_GUI)
  add_executable(cost_trivial_window CostTrivialWindow.cpp)
  target_link_libraries(cost_trivial_window PRIVATE tovarinth_core Qt6::Widgets)
endif()
