add_library(tovarinth_controls STATIC
  controls/cListView.h controls/cListView.cpp
  controls/cToolbar.h controls/cToolbar.cpp
  controls/cProgressBar.h
  controls/cComboBoxEx.h
  controls/cFindField.h
)
target_include_directories(tovarinth_controls PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(tovarinth_controls PUBLIC Qt6::Widgets)
