# The drawn images need a QGuiApplication: the test has a main of its own.
if(NOT TARGET tovarinth_resources)
  return()
endif()
tovarinth_add_test(test_resources resources/ResourcesTest.cpp
  LIBS tovarinth_resources Qt6::Gui TIMEOUT 60)
set_property(TEST test_resources APPEND PROPERTY ENVIRONMENT
  "TOVARINTH_PREVIEW_PNG=${CMAKE_BINARY_DIR}/resources-preview.png")
