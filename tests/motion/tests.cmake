target_sources(kelvo_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/motion_test.cpp)
