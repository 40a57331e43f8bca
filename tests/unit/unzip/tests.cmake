tovarinth_add_test(test_unzip unzip/UnzipTest.cpp LIBS PkgConfig::LIBZIP TIMEOUT 120)
