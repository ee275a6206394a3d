#include "media/songs.h"

#include "host/base/files.h"
#include "media/audio_device.h"
#include "media/midi_check.h"

namespace kelvo {

namespace {

// The caller holds the media lock.
void close_song(Engine& e) {
  if (e.song_playing) {
    if (AudioBackend* backend = opened_audio(e)) backend->stop_song();
  }
  e.song_playing = 0;
}

}  // namespace

std::int32_t start_song(Engine& e, const std::string& path) {
  std::lock_guard<std::mutex> lock(media_mutex());
  // The small preview picture never plays songs.
  if (e.preview) return 0;
  if (e.Sounds == 0) {
    debug_log(e.log, "sounds disabled by config");
    return 0;
  }
  if (!in_work_directory(e, path)) {
    debug_log(e.log, "MIDI refused: %s is not in the work directory", path.c_str());
    return 0;
  }
  if (!file_exists(path)) return 0;
  close_song(e);

  // A damaged file is refused here: the MIDI player would take it and then
  // fail quietly on its own thread.
  std::string error;
  if (!check_midi_file(path, error)) {
    debug_log(e.log, "MIDI %s failed: %s", path.c_str(), error.c_str());
    return 0;
  }
  AudioBackend* backend = open_audio(e);
  if (!backend) return 0;
  if (!backend->play_song(path, error)) {
    debug_log(e.log, "MIDI %s failed: %s", path.c_str(), error.c_str());
    return 0;
  }
  debug_log(e.log, "MIDI ok");
  e.song_playing = 1;
  return 1;
}

void stop_song(Engine& e) {
  std::lock_guard<std::mutex> lock(media_mutex());
  close_song(e);
}

}  // namespace kelvo
