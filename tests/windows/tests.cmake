# The Windows screen saver under Wine: the cross build (once per run), then one
# test per group of the driver (tests/windows/saver_driver.cpp), all on one
# private X display and Wine prefix. They run beside the Linux tests, one at a
# time among themselves (they share the display, the registry and the
# temporary folder). Skipped when mingw-w64 or Wine are missing
# (sh scripts/install-deps.sh --windows installs them).
find_program(KELVO_MINGW_CXX x86_64-w64-mingw32-g++-posix)
find_program(KELVO_WINE wine)
if(KELVO_MINGW_CXX AND KELVO_WINE)
  set(KELVO_WINDOWS_TEST_BUILD ${CMAKE_BINARY_DIR}/windows)
  set(KELVO_WINE_STATE ${CMAKE_BINARY_DIR}/wine)
  set(KELVO_WINE_TEST ${CMAKE_CURRENT_LIST_DIR}/wine_test.sh)
  # The generators of this very build make the logo, the icon and kelvo.pak.
  add_test(NAME windows_build
    COMMAND ${CMAKE_COMMAND} -E env KELVO_WINDOWS_BUILD=${KELVO_WINDOWS_TEST_BUILD}
            KELVO_NATIVE_BUILD=${CMAKE_BINARY_DIR} KELVO_JOBS=2
            sh ${PROJECT_SOURCE_DIR}/scripts/build-windows.sh --no-zip)
  set_tests_properties(windows_build PROPERTIES FIXTURES_SETUP kelvo_windows TIMEOUT 1500)
  add_test(NAME windows_wine_start COMMAND sh ${KELVO_WINE_TEST} start ${KELVO_WINE_STATE})
  set_tests_properties(windows_wine_start PROPERTIES FIXTURES_SETUP kelvo_wine TIMEOUT 120)
  add_test(NAME windows_wine_stop COMMAND sh ${KELVO_WINE_TEST} stop ${KELVO_WINE_STATE})
  set_tests_properties(windows_wine_stop PROPERTIES FIXTURES_CLEANUP kelvo_wine TIMEOUT 60)
  foreach(group dispatch preview full_screen settings dialog media)
    add_test(NAME windows_${group}
      COMMAND sh ${KELVO_WINE_TEST} run ${KELVO_WINE_STATE} ${KELVO_WINDOWS_TEST_BUILD} ${group})
    set_tests_properties(windows_${group} PROPERTIES
      FIXTURES_REQUIRED "kelvo_windows;kelvo_wine" RESOURCE_LOCK kelvo_wine_desktop TIMEOUT 180)
  endforeach()
else()
  message(STATUS "mingw-w64 or Wine missing: the Windows tests are not run")
endif()
