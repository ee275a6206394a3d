# The Windows build's data made by generators that run on the build machine:
# the logo texture (RCDATA 110 of kelvo.scr), the icon (resource 100) and the
# demo package kelvo.pak. They come from a native build of this project,
# configured here in ${CMAKE_BINARY_DIR}/native unless KELVO_NATIVE_BUILD names
# an existing native build folder to reuse. Either way that build is brought up
# to date on every build, so the data follow their sources.
set(KELVO_NATIVE_BUILD "" CACHE PATH "Native build folder whose generators make the Windows build's data (empty: one of our own)")
set(KELVO_NATIVE_JOBS 2 CACHE STRING "Parallel jobs of the native data build")

if(KELVO_NATIVE_BUILD)
  set(_native_dir ${KELVO_NATIVE_BUILD})
else()
  set(_native_dir ${CMAKE_BINARY_DIR}/native)
  if(NOT EXISTS ${_native_dir}/CMakeCache.txt)
    message(STATUS "Configuring the native build of the data generators in ${_native_dir}")
    # The cross compiler's settings must not reach it.
    execute_process(
      COMMAND ${CMAKE_COMMAND} -E env --unset=CC --unset=CXX --unset=CFLAGS --unset=CXXFLAGS --unset=LDFLAGS
              ${CMAKE_COMMAND} -S ${PROJECT_SOURCE_DIR} -B ${_native_dir} -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
              -DKELVO_TESTS=OFF -DKELVO_PLAYER=OFF -DKELVO_BENCH=OFF
      RESULT_VARIABLE _native_result
      OUTPUT_QUIET)
    if(NOT _native_result EQUAL 0)
      message(FATAL_ERROR "The native build of the data generators could not be configured in ${_native_dir}")
    endif()
  endif()
endif()

set(KELVO_NATIVE_LOGO ${_native_dir}/data/KLV.3DF)
set(KELVO_NATIVE_ICON ${_native_dir}/data/kelvo.ico)
set(KELVO_NATIVE_PAK ${_native_dir}/data/kelvo.pak)
add_custom_target(kelvo_native_data
  COMMAND ${CMAKE_COMMAND} --build ${_native_dir} --parallel ${KELVO_NATIVE_JOBS}
          --target kelvo_logo kelvo_icon kelvo_demo_pak
  BYPRODUCTS ${KELVO_NATIVE_LOGO} ${KELVO_NATIVE_ICON} ${KELVO_NATIVE_PAK}
  COMMENT "Making the logo, the icon and kelvo.pak with the native generators"
  USES_TERMINAL
  VERBATIM)
