target_sources(kelvo_tests PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/script_interpreter_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/script_commands_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tsan_scene_test.cpp
)
