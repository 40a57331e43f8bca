target_sources(tovarinth_core PRIVATE
  unzip/cUnzipFiles.h unzip/cUnzipFiles.cpp
  unzip/mUnzip.h unzip/mUnzip.cpp
  unzip/UnzipEngine.h unzip/UnzipEngine.cpp
  unzip/ZipDirectory.h unzip/ZipDirectory.cpp
  unzip/ZipMember.h unzip/ZipMember.cpp
)
# libzip is linked privately to tovarinth_core in src/CMakeLists.txt.
