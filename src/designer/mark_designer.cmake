# MarkDesigner, the template editor program: its Qt windows (a library, so
# that tests link them) over designer_core, and the executable beside
# imprimo in the build folder.
set(designer_window_srcs
  ${CMAKE_CURRENT_LIST_DIR}/color_button.cpp
  ${CMAKE_CURRENT_LIST_DIR}/color_button.h
  ${CMAKE_CURRENT_LIST_DIR}/designer_icon.cpp
  ${CMAKE_CURRENT_LIST_DIR}/designer_icon.h
  ${CMAKE_CURRENT_LIST_DIR}/designer_texts.cpp
  ${CMAKE_CURRENT_LIST_DIR}/designer_texts.h
  ${CMAKE_CURRENT_LIST_DIR}/designer_window.cpp
  ${CMAKE_CURRENT_LIST_DIR}/designer_window.h
  ${CMAKE_CURRENT_LIST_DIR}/layer_editor.cpp
  ${CMAKE_CURRENT_LIST_DIR}/layer_editor.h
  ${CMAKE_CURRENT_LIST_DIR}/preview_view.cpp
  ${CMAKE_CURRENT_LIST_DIR}/preview_view.h)
add_library(designer_window STATIC ${designer_window_srcs})
set_target_properties(designer_window PROPERTIES AUTOMOC ON)
target_include_directories(designer_window PUBLIC ${CMAKE_SOURCE_DIR}/src)
# The language file code of the windows is shared with imprimo's.
target_link_libraries(designer_window PUBLIC designer_core imprimo_gui Qt6::Widgets)

add_executable(MarkDesigner ${CMAKE_CURRENT_LIST_DIR}/designer_main.cpp)
target_link_libraries(MarkDesigner PRIVATE designer_window)
