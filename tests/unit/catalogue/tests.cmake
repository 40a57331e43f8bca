tovarinth_add_test(test_catalogue
  catalogue/CatalogueFixture.h
  catalogue/StatusTest.cpp
  catalogue/LocalDatabasesTest.cpp
  catalogue/ExtensionCacheTest.cpp
  catalogue/CommandsTest.cpp
  catalogue/StartupTest.cpp)
