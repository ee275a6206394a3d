target_sources(kelvo_tests PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/scene_file_test.cpp
)
