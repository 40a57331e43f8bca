# The drawn images need a QGuiApplication: the test has a main of its own.
if(TARGET tovarinth_resources)
  tovarinth_add_test(test_resources resources/ResourcesTest.cpp LIBS tovarinth_resources Qt6::Gui)
endif()
