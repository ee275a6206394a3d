target_sources(kelvo_tests PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/gl_recorder.cpp
  ${CMAKE_CURRENT_LIST_DIR}/frame_renderer_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/lighting_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/particles_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/text_overlay_test.cpp
)
