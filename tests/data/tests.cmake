# The demo package as the build makes it (data/demo): its scene, font,
# textures, models, thumbnail and the packed kelvo.pak.
target_sources(kelvo_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/demo_data_test.cpp)
set_property(SOURCE ${CMAKE_CURRENT_LIST_DIR}/demo_data_test.cpp APPEND PROPERTY COMPILE_DEFINITIONS
  "KELVO_DEMO_DIR=\"${CMAKE_BINARY_DIR}/data/demo-files\""
  "KELVO_DEMO_PAK=\"${CMAKE_BINARY_DIR}/data/kelvo.pak\""
  "KELVO_DEMO_PAK_BESIDE_PLAYER=\"${CMAKE_BINARY_DIR}/host/kelvo.pak\"")
add_dependencies(kelvo_tests kelvo_demo_pak)

# The scene author's checker must find nothing wrong with the demo scene.
add_test(NAME demo_scene_check COMMAND kelvo-check ${CMAKE_BINARY_DIR}/data/demo-files)
set_tests_properties(demo_scene_check PROPERTIES PASS_REGULAR_EXPRESSION "\n0 errors, 0 warnings\n")
