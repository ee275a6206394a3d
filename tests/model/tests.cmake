# The 3DF format and the kelvo-tex binary, which its test runs on pictures it
# writes with libpng.
pkg_check_modules(KELVO_TEST_PNG REQUIRED IMPORTED_TARGET libpng)
target_sources(kelvo_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/texture_3df_test.cpp)
target_link_libraries(kelvo_tests PRIVATE PkgConfig::KELVO_TEST_PNG)
target_compile_definitions(kelvo_tests PRIVATE KELVO_TEX_PATH="$<TARGET_FILE:kelvo-tex>")
add_dependencies(kelvo_tests kelvo-tex)

# 3DS models: reader, writer, the kelvo-check model command, texture slots and
# preparation in a GL context; lib3ds is the reference reader for the
# installed real models (tests only).
target_sources(kelvo_tests PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/three_ds_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../../tools/kelvo_check_model.cpp
)
target_link_libraries(kelvo_tests PRIVATE 3ds)
