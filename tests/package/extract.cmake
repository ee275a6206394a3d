# Unpacking in the player and with the built kelvo-pak, which the tests run.
target_sources(kelvo_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/extract_test.cpp)
add_dependencies(kelvo_tests kelvo-pak kelvo-check)
set_property(SOURCE ${CMAKE_CURRENT_LIST_DIR}/extract_test.cpp APPEND PROPERTY
  COMPILE_DEFINITIONS "KELVO_PAK_TOOL=\"$<TARGET_FILE:kelvo-pak>\"" "KELVO_CHECK_TOOL=\"$<TARGET_FILE:kelvo-check>\"")
