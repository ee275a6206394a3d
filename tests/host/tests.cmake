target_sources(kelvo_tests PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/engine_proc_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/mode_dispatch_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/work_dir_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/player_options_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/full_screen_lock_test.cpp
)

# The real player in a real (virtual) X display.
if(KELVO_PLAYER)
  add_test(NAME player_smoke
    COMMAND ${CMAKE_CURRENT_LIST_DIR}/player_smoke_test.sh $<TARGET_FILE:kelvo>)
  set_tests_properties(player_smoke PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 120)
endif()

# The player drawing into windows that other programs made, checked by
# reading the pixels back from a virtual X server of each test's own.
if(KELVO_PLAYER)
  find_package(X11 REQUIRED)
  add_executable(x11_window_test ${CMAKE_CURRENT_LIST_DIR}/x11_window_test.cpp)
  target_link_libraries(x11_window_test PRIVATE X11::X11)
  add_test(NAME player_preview_window
    COMMAND ${CMAKE_CURRENT_LIST_DIR}/with_xvfb.sh $<TARGET_FILE:x11_window_test> preview $<TARGET_FILE:kelvo>)
  set_tests_properties(player_preview_window PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 120)
endif()
