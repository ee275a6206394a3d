target_sources(kelvo_tests PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/engine_proc_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/files_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/mode_dispatch_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/work_dir_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/player_options_test.cpp
)

# The real player in a real (virtual) X display.
if(KELVO_PLAYER)
  add_test(NAME player_smoke
    COMMAND ${CMAKE_CURRENT_LIST_DIR}/player_smoke_test.sh $<TARGET_FILE:kelvo>)
  set_tests_properties(player_smoke PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 120)
endif()
