# Included from tests/CMakeLists.txt: the fuzz harnesses in the ordinary test
# build. Each replays its generated seeds, the committed seeds and the
# regression inputs of tests/data/fuzz/<target> once, without the fuzzer; and
# when clang is at hand, fuzz_smoke builds the real fuzz targets (a project of
# their own, scripts/fuzz.sh) and runs each one briefly.
add_library(tovarinth_fuzzsupport STATIC
  fuzz/FuzzSupport.h fuzz/FuzzSupport.cpp
  fuzz/Seeds.h fuzz/Seeds.cpp
  fuzz/ReplayMain.cpp
  support/FakeView.h support/FakeView.cpp
  unit/unzip/ZipFixtures.h unit/unzip/ZipFixtures.cpp
)
target_include_directories(tovarinth_fuzzsupport PUBLIC
  ${CMAKE_CURRENT_SOURCE_DIR}/fuzz ${CMAKE_CURRENT_SOURCE_DIR}/support ${CMAKE_CURRENT_SOURCE_DIR}/unit)
target_link_libraries(tovarinth_fuzzsupport PUBLIC tovarinth_core PkgConfig::LIBZIP)

foreach(target json envelope hex unzip version icmp)
  string(SUBSTRING ${target} 0 1 first)
  string(TOUPPER ${first} first)
  string(SUBSTRING ${target} 1 -1 rest)
  add_executable(fuzz_replay_${target} fuzz/Fuzz${first}${rest}.cpp)
  # main comes from ReplayMain.cpp in the library.
  target_link_libraries(fuzz_replay_${target} PRIVATE tovarinth_fuzzsupport)
  add_test(NAME fuzz_replay_${target}
    COMMAND fuzz_replay_${target} ${target} ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/seeds/${target}
            ${CMAKE_CURRENT_SOURCE_DIR}/data/fuzz/${target})
  set_tests_properties(fuzz_replay_${target} PROPERTIES ENVIRONMENT "${TOVARINTH_TEST_ENV}"
    TIMEOUT 120)
endforeach()

find_program(TOVARINTH_CLANGXX clang++)
if(TOVARINTH_CLANGXX)
  # Builds build/fuzz (incremental after the first time) and runs each of the
  # six targets for 20 s over its corpus and regression inputs.
  add_test(NAME fuzz_smoke COMMAND ${PROJECT_SOURCE_DIR}/scripts/fuzz.sh 20)
  set_tests_properties(fuzz_smoke PROPERTIES TIMEOUT 900 RUN_SERIAL FALSE)
endif()
