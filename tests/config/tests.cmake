# The thumbnail reader and the dialog's behaviour, without a window. The
# reader's test bitmaps also seed the bitmap fuzz target's corpus.
target_sources(kelvo_tests PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/thumbnail_bitmap_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/settings_dialog_model_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../support/bmp_writer.cpp
)
set_property(SOURCE ${CMAKE_CURRENT_LIST_DIR}/thumbnail_bitmap_test.cpp APPEND PROPERTY
  COMPILE_DEFINITIONS "KELVO_BMP_SEED_DIR=\"${CMAKE_BINARY_DIR}/fuzz/seeds-bmp\"")

# The real dialog in a virtual X display, driven with xdotool; it also takes
# the README's picture of the dialog (docs/settings-dialog.png in the build).
if(KELVO_PLAYER)
  find_package(X11 REQUIRED)
  pkg_check_modules(KELVO_TEST_PNG REQUIRED IMPORTED_TARGET libpng)
  add_executable(kelvo_dialog_test_helper
    ${CMAKE_CURRENT_LIST_DIR}/dialog_test_helper.cpp
    ${CMAKE_CURRENT_LIST_DIR}/../support/bmp_writer.cpp)
  target_include_directories(kelvo_dialog_test_helper PRIVATE ${CMAKE_CURRENT_LIST_DIR}/..)
  target_link_libraries(kelvo_dialog_test_helper PRIVATE X11::X11 PkgConfig::KELVO_TEST_PNG)
  add_test(NAME settings_dialog_window
    COMMAND ${CMAKE_CURRENT_LIST_DIR}/../support/with_xvfb.sh ${CMAKE_CURRENT_LIST_DIR}/settings_dialog_test.sh $<TARGET_FILE:kelvo>
            $<TARGET_FILE:kelvo_dialog_test_helper> $<TARGET_FILE:kelvo-pak> ${CMAKE_BINARY_DIR}/docs)
  set_tests_properties(settings_dialog_window PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 180)
endif()
