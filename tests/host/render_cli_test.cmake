# The headless renderer: the built kelvo-render drawing a tiny scene into PNG
# files that the test reads back with libpng.
pkg_check_modules(KELVO_RENDER_TEST_PNG REQUIRED IMPORTED_TARGET libpng)
target_sources(kelvo_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/render_cli_test.cpp)
target_link_libraries(kelvo_tests PRIVATE PkgConfig::KELVO_RENDER_TEST_PNG)
set_property(SOURCE ${CMAKE_CURRENT_LIST_DIR}/render_cli_test.cpp APPEND PROPERTY
  COMPILE_DEFINITIONS "KELVO_RENDER_PATH=\"$<TARGET_FILE:kelvo-render>\"")
add_dependencies(kelvo_tests kelvo-render)
