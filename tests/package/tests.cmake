target_sources(kelvo_tests PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/pak_coder_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/kelvo_pak_tool_test.cpp
)
# The tool tests run the built kelvo-pak.
add_dependencies(kelvo_tests kelvo-pak)
set_property(SOURCE ${CMAKE_CURRENT_LIST_DIR}/kelvo_pak_tool_test.cpp APPEND PROPERTY
  COMPILE_DEFINITIONS "KELVO_PAK_TOOL=\"$<TARGET_FILE:kelvo-pak>\"")
