set(TOVARINTH_UNZIP_FIXTURES unzip/ZipFixtures.h unzip/ZipFixtures.cpp)
tovarinth_add_test(test_unzip_files unzip/UnzipFilesTest.cpp ${TOVARINTH_UNZIP_FIXTURES}
  LIBS PkgConfig::LIBZIP TIMEOUT 120)
tovarinth_add_test(test_unzip_safety unzip/UnzipSafetyTest.cpp ${TOVARINTH_UNZIP_FIXTURES}
  LIBS PkgConfig::LIBZIP TIMEOUT 120)
tovarinth_add_test(test_vendor_pack unzip/PackCommandTest.cpp ${TOVARINTH_UNZIP_FIXTURES}
  LIBS PkgConfig::LIBZIP TIMEOUT 60)
