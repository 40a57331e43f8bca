target_sources(tovarinth_core PRIVATE
  startup/Errors.h startup/ProcessValues.h startup/IPrompt.h
  startup/TextHelpers.h startup/TextHelpers.cpp
  startup/JsonNode.h startup/JsonNode.cpp
  startup/Settings.h startup/Settings.cpp
  startup/IniLineEditor.h startup/IniLineEditor.cpp
  startup/FileIo.h startup/FileIo.cpp
  startup/mMain.h startup/mMain.cpp
  startup/VersionResource.h startup/VersionResource.cpp
  startup/VersionResourceWriter.h startup/VersionResourceWriter.cpp
  startup/Trace.h startup/Trace.cpp
  startup/HeapPolicy.h startup/HeapPolicy.cpp
)
