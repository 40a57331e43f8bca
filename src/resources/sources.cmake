# The image strips and the program icon, drawn at run time (no image files).
add_library(tovarinth_resources STATIC
  resources/Resources.h resources/Resources.cpp
)
add_library(tovarinth_gui_resources ALIAS tovarinth_resources)
target_include_directories(tovarinth_resources PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(tovarinth_resources PUBLIC Qt6::Gui)
