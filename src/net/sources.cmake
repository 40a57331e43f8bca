target_sources(tovarinth_core PRIVATE
  net/cThread.h net/cThread.cpp
  net/cTimeCount.h net/cTimeCount.cpp
  net/VendorUrl.h net/VendorUrl.cpp
  net/mInternet.h net/mInternet.cpp
  net/cPartialDownload.h net/cPartialDownload.cpp
  net/cDownload.h net/cDownload.cpp
  net/cPing.h net/cPing.cpp
)
