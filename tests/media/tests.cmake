# Songs and sounds: the rules with a stand-in output, the SDL_mixer output
# through SDL's disk audio driver; the generators of the test songs and sounds.
target_sources(kelvo_tests PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/media_rules_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/sdl_mixer_audio_test.cpp
  # The generators' code, built here too so the tests need nothing else.
  ${PROJECT_SOURCE_DIR}/data/media/midi_writer.cpp
  ${PROJECT_SOURCE_DIR}/data/media/ambient_song.cpp
  ${PROJECT_SOURCE_DIR}/data/media/wav_writer.cpp
  ${PROJECT_SOURCE_DIR}/data/media/sound_synth.cpp
)
find_package(SDL2_mixer REQUIRED)
target_link_libraries(kelvo_tests PRIVATE kelvo_media_sdl SDL2_mixer::SDL2_mixer)
