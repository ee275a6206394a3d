target_sources(kelvo_tests PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/engine_proc_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/files_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/mode_dispatch_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/work_dir_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/player_options_test.cpp
)

# The real player in virtual X displays of each test's own, with pixels read
# back from the X server; the installed tree; the real XScreenSaver daemon.
if(KELVO_PLAYER)
  find_package(X11 REQUIRED)
  add_executable(x11_window_test ${CMAKE_CURRENT_LIST_DIR}/x11_window_test.cpp)
  target_link_libraries(x11_window_test PRIVATE X11::X11)
  set(xvfb ${CMAKE_CURRENT_LIST_DIR}/../support/with_xvfb.sh)
  add_test(NAME player_smoke COMMAND ${xvfb} ${CMAKE_CURRENT_LIST_DIR}/player_smoke_test.sh $<TARGET_FILE:kelvo>)
  add_test(NAME player_preview_window COMMAND ${xvfb} $<TARGET_FILE:x11_window_test> preview $<TARGET_FILE:kelvo>)
  add_test(NAME player_single_full_screen
    COMMAND ${xvfb} 640x480x24 ${CMAKE_CURRENT_LIST_DIR}/single_full_screen_test.sh $<TARGET_FILE:kelvo>
            $<TARGET_FILE:x11_window_test>)
  add_test(NAME installed_tree COMMAND ${CMAKE_CURRENT_LIST_DIR}/installed_tree_test.sh ${CMAKE_BINARY_DIR})
  add_test(NAME xscreensaver_daemon
    COMMAND ${xvfb} 640x480x24 ${CMAKE_CURRENT_LIST_DIR}/xscreensaver_test.sh ${CMAKE_BINARY_DIR}
            $<TARGET_FILE:x11_window_test>)
  set_tests_properties(player_smoke player_preview_window player_single_full_screen installed_tree
                       xscreensaver_daemon PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 120)
endif()
