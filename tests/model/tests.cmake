target_sources(kelvo_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/texture_3df_test.cpp ${CMAKE_CURRENT_LIST_DIR}/texture_slots_test.cpp)

# kelvo-tex is run by its test; the test writes its pictures with libpng.
pkg_check_modules(KELVO_TEST_PNG REQUIRED IMPORTED_TARGET libpng)
target_sources(kelvo_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/kelvo_tex_tool_test.cpp)
target_link_libraries(kelvo_tests PRIVATE PkgConfig::KELVO_TEST_PNG)
target_compile_definitions(kelvo_tests PRIVATE KELVO_TEX_PATH="$<TARGET_FILE:kelvo-tex>")
add_dependencies(kelvo_tests kelvo-tex)

# 3DS models: reader, writer, preparation and the kelvo-check model command;
# lib3ds is the reference reader for the installed real models (tests only).
target_sources(kelvo_tests PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/three_ds_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/model_prepare_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../../tools/kelvo_check_model.cpp
)
target_link_libraries(kelvo_tests PRIVATE 3ds)
