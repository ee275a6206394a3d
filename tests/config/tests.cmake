# The thumbnail reader and the dialog's behaviour, without a window. The
# reader's test bitmaps also seed the bitmap fuzz target's corpus.
target_sources(kelvo_tests PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/thumbnail_bitmap_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/settings_dialog_model_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../support/bmp_writer.cpp
)
set_property(SOURCE ${CMAKE_CURRENT_LIST_DIR}/thumbnail_bitmap_test.cpp APPEND PROPERTY
  COMPILE_DEFINITIONS "KELVO_BMP_SEED_DIR=\"${CMAKE_BINARY_DIR}/fuzz/seeds-bmp\"")
