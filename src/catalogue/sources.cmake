target_sources(tovarinth_core PRIVATE
  catalogue/IView.h catalogue/MainState.h catalogue/JsonLookup.h
  catalogue/ExtensionEntry.h catalogue/ExtensionEntry.cpp
  catalogue/Catalogue.h catalogue/Catalogue.cpp
  catalogue/LocalDatabases.cpp
  catalogue/cInstalledDbFile.h catalogue/cInstalledDbFile.cpp
  catalogue/ExtensionCache.cpp
  catalogue/cRebuildMemo.h catalogue/cRebuildMemo.cpp
  catalogue/Packages.cpp
  catalogue/cDownloadProgress.h catalogue/cDownloadProgress.cpp
  catalogue/PackageCommands.cpp
  catalogue/ProfileSync.cpp
  catalogue/StatusTimers.cpp
  catalogue/ModelFilter.h catalogue/ModelFilter.cpp
  catalogue/cPackageImport.h catalogue/cPackageImport.cpp
  catalogue/cLongWork.h catalogue/cLongWork.cpp
)
