#include "media/sounds.h"

#include "host/base/files.h"
#include "media/audio_device.h"

namespace kelvo {

std::int32_t play_sound(Engine& e, const std::string& path, bool loop) {
  std::lock_guard<std::mutex> lock(media_mutex());
  if (e.Sounds == 0) return 0;
  debug_log(e.log, "sound %s%s", path.c_str(), loop ? " (loop)" : "");
  if (!in_work_directory(e, path)) {
    debug_log(e.log, "WAV refused: %s is not in the work directory", path.c_str());
    return 0;
  }
  if (!file_exists(path)) return 0;

  AudioBackend* backend = open_audio(e);
  if (!backend) return 0;
  std::string error;
  if (!backend->play_sound(path, loop, error)) {
    debug_log(e.log, "WAV %s failed: %s", path.c_str(), error.c_str());
    return 0;
  }
  return 1;
}

void stop_sound(Engine& e) {
  std::lock_guard<std::mutex> lock(media_mutex());
  debug_log(e.log, "sound stop");
  // Nothing can sound before the output opens; stopping never opens it.
  if (AudioBackend* backend = opened_audio(e)) backend->stop_sound();
}

}  // namespace kelvo
