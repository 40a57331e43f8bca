# The windows' benchmarks: the main list's rebuild and the model browser,
# each against a bare QTreeWidget filled in the same run. They need the
# windows, so they are built with them only.
if(TOVARINTH_GUI)
  add_executable(bench_catalogue CatalogueBench.cpp BenchSupport.h)
  target_link_libraries(bench_catalogue PRIVATE tovarinth_windows benchmark::benchmark)

  add_executable(bench_models ModelsBench.cpp BenchSupport.h)
  target_link_libraries(bench_models PRIVATE tovarinth_windows benchmark::benchmark)
endif()

# The baseline of scripts/cost.sh: a window with one label, traced like the
# manager. Not a benchmark of its own (no bench_ prefix).
if(TOVARINTH_GUI)
  add_executable(cost_trivial_window CostTrivialWindow.cpp)
  target_link_libraries(cost_trivial_window PRIVATE tovarinth_core Qt6::Widgets)
endif()
