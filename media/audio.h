// The sound output behind songs (media/songs.h) and sounds (media/sounds.h).
//
// The engine never talks to a sound library itself: a program that can make
// sound registers a backend (the player registers the SDL_mixer one, see
// media/sdl_mixer_audio.h); without one every song and sound stays silent.
// The output opens on the first song or sound that plays, once per engine; when
// it cannot open, one log line says why and the engine stays silent for the
// rest of its run.
//
// Threads: the scene load and the teardown run on the window thread, the
// script's songs and sounds on the script thread. Every call here and in
// songs.h / sounds.h takes one process-wide lock, so backends are only ever
// called by one thread at a time.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "scene/engine_state.h"

namespace kelvo {

// A sound output. All calls come with the media lock held.
class AudioBackend {
 public:
  virtual ~AudioBackend() = default;

  // Opens the output. False with a one-line reason when there is none.
  virtual bool open(std::string& error) = 0;

  // Loads the MIDI file `path` and plays it once, replacing the song that was
  // open. False with a reason when the file is no playable MIDI song.
  virtual bool play_song(const std::string& path, std::string& error) = 0;
  // Closes the open song, silencing it if it still plays.
  virtual void stop_song() = 0;

  // Loads the WAV file `path` and plays it once, or again and again (loop),
  // replacing the sound that was playing. False with a reason when the file is
  // no playable sound.
  virtual bool play_sound(const std::string& path, bool loop, std::string& error) = 0;
  // Stops and forgets the sound, if any.
  virtual void stop_sound() = 0;

  // Whether the open song, and the sound, are still sounding.
  virtual bool song_sounding() const = 0;
  virtual bool sound_sounding() const = 0;
};

using AudioBackendFactory = std::function<std::unique_ptr<AudioBackend>()>;

// Chooses the output for engines that open theirs from now on; an empty
// factory means silence (the default).
void set_audio_backend(AudioBackendFactory factory);

// Closes the engine's sound output (the song and the sound end at once); the
// next song or sound opens it again. Call after the script thread has stopped,
// before the sound library itself shuts down.
void close_audio(Engine& e);

// What the engine's output is doing; for tests and diagnostics.
struct AudioActivity {
  bool open = false;            // the output is open
  bool song_sounding = false;   // the open song still plays
  bool sound_sounding = false;  // a sound still plays
};
AudioActivity audio_activity(Engine& e);

// True when `path` names a file directly inside the engine's work directory
// (paths.dir_temp): the name after the directory holds no path separator and
// is not "." or "..". Songs and sounds are played from there only.
bool in_work_directory(const Engine& e, const std::string& path);

}  // namespace kelvo
