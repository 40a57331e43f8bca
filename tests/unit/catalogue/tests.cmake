# The catalogue's procedures through the view and prompt seams, in worlds made
# by the vendor tool; the second program also runs the local vendor site.
tovarinth_add_test(test_catalogue catalogue/World.h catalogue/StatusTest.cpp
  catalogue/RowsTest.cpp catalogue/StartupTest.cpp)
tovarinth_add_test(test_catalogue_site catalogue/World.h catalogue/SiteTest.cpp
  catalogue/ResumeTest.cpp)
