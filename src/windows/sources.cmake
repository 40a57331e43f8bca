add_library(tovarinth_windows STATIC
  windows/FormIcon.h windows/FormIcon.cpp
  windows/MessageBoxPrompt.h windows/MessageBoxPrompt.cpp
  windows/frmMain.h windows/frmMain.cpp
  windows/frmModels.h windows/frmModels.cpp
  windows/cSingleInstance.h windows/cSingleInstance.cpp
  windows/cTraceSignals.h windows/cTraceSignals.cpp
)
target_link_libraries(tovarinth_windows PUBLIC tovarinth_core tovarinth_controls tovarinth_resources
  Qt6::Widgets Qt6::Network)

add_executable(tovarinth windows/main.cpp)
target_link_libraries(tovarinth PRIVATE tovarinth_windows)
