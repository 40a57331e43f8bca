add_executable(bench_unzip UnzipBench.cpp)
target_link_libraries(bench_unzip PRIVATE tovarinth_core benchmark::benchmark PkgConfig::LIBZIP)
