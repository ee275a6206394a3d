#include "media/audio.h"

#include <utility>

#include "media/audio_device.h"

namespace kelvo {

namespace {

// Guarded by media_mutex().
AudioBackendFactory& backend_factory() {
  static AudioBackendFactory factory;
  return factory;
}

}  // namespace

std::mutex& media_mutex() {
  static std::mutex mutex;
  return mutex;
}

void AudioDeviceDeleter::operator()(AudioDevice* device) const {
  std::lock_guard<std::mutex> lock(media_mutex());
  delete device;
}

void set_audio_backend(AudioBackendFactory factory) {
  std::lock_guard<std::mutex> lock(media_mutex());
  backend_factory() = std::move(factory);
}

AudioBackend* open_audio(Engine& e) {
  if (e.audio) return e.audio->backend.get();
  // One attempt per engine: a failed one leaves a device without a backend.
  // (e.audio is empty, so its deleter, which takes the lock, does not run.)
  e.audio.reset(new AudioDevice);
  const AudioBackendFactory& factory = backend_factory();
  std::unique_ptr<AudioBackend> backend = factory ? factory() : nullptr;
  std::string error;
  if (!backend) {
    debug_log(e.log, "audio: none in this program; playing silently");
  } else if (!backend->open(error)) {
    debug_log(e.log, "audio: no output (%s); playing silently", error.c_str());
  } else {
    debug_log(e.log, "audio: output open");
    e.audio->backend = std::move(backend);
  }
  return e.audio->backend.get();
}

AudioBackend* opened_audio(Engine& e) { return e.audio ? e.audio->backend.get() : nullptr; }

void close_audio(Engine& e) {
  std::unique_ptr<AudioDevice, AudioDeviceDeleter> closing;
  {
    std::lock_guard<std::mutex> lock(media_mutex());
    closing = std::move(e.audio);
    e.song_playing = 0;
  }
  // The deleter takes the lock.
}

AudioActivity audio_activity(Engine& e) {
  std::lock_guard<std::mutex> lock(media_mutex());
  AudioActivity activity;
  if (AudioBackend* backend = opened_audio(e)) {
    activity.open = true;
    activity.song_sounding = backend->song_sounding();
    activity.sound_sounding = backend->sound_sounding();
  }
  return activity;
}

bool in_work_directory(const Engine& e, const std::string& path) {
  const std::string& dir = e.paths.dir_temp;
  if (path.size() <= dir.size() || path.compare(0, dir.size(), dir) != 0) return false;
  if (!dir.empty() && dir.back() != '/' && dir.back() != '\\') return false;
  const std::string name = path.substr(dir.size());
  if (name == "." || name == "..") return false;
  return name.find_first_of("/\\") == std::string::npos;
}

}  // namespace kelvo
