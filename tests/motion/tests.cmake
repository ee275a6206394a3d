target_sources(kelvo_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/object_transform_test.cpp)
target_sources(kelvo_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/motion_test.cpp)
