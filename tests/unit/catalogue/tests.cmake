tovarinth_add_test(test_catalogue
  catalogue/CatalogueFixture.h
  catalogue/StatusTest.cpp
  catalogue/LocalDatabasesTest.cpp
  catalogue/ExtensionCacheTest.cpp
  catalogue/CommandsTest.cpp
  catalogue/StartupTest.cpp)

# Installation, removal and the sync against the local vendor site.
tovarinth_add_test(test_packages catalogue/SiteFixture.h catalogue/PackagesTest.cpp)
tovarinth_add_test(test_sync catalogue/SiteFixture.h catalogue/SyncTest.cpp)

# The rebuild's cheap paths: one pass, folder listings, settings snapshot.
tovarinth_add_test(test_rebuild catalogue/CatalogueFixture.h catalogue/RebuildTest.cpp)
