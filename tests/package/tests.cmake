target_sources(kelvo_tests PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/pak_coder_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/member_read_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/package_search_test.cpp
)
