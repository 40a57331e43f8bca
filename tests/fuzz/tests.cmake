# Included from tests/CMakeLists.txt. fuzz_smoke builds the libFuzzer targets
# with clang (scripts/fuzz.sh) and runs each one briefly, starting from the
# regression inputs of tests/data/fuzz, the committed seeds and seeds made by
# the vendor tool: a crash on any of them fails the test.
add_test(NAME fuzz_smoke COMMAND ${PROJECT_SOURCE_DIR}/scripts/fuzz.sh 7)
set_tests_properties(fuzz_smoke PROPERTIES TIMEOUT 900
  ENVIRONMENT "TOVARINTH_VENDOR_TOOL=$<TARGET_FILE:tovarinth-vendor>")
