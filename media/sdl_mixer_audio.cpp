#include "media/sdl_mixer_audio.h"

#include <SDL2/SDL.h>
#include <SDL2/SDL_mixer.h>

#include <array>
#include <cstdio>
#include <cstring>

#include "host/base/files.h"
#include "media/soundfont.h"

// The TimGM6mb soundfont as found when the program was built (see
// media/CMakeLists.txt); empty when it was not installed then.
#ifndef KELVO_GM_SOUNDFONT
#define KELVO_GM_SOUNDFONT ""
#endif

namespace kelvo {

namespace {

constexpr int kRate = 44100;
constexpr int kOutputChannels = 2;
constexpr int kChunkFrames = 2048;
constexpr int kMixChannels = 8;

// Process-wide, like SDL_mixer itself; only touched with the media lock held
// (every backend call comes with it).
int g_open_outputs = 0;
Mix_Music* g_started_music = nullptr;  // the song the mixer was last told to play

std::string sdl_error(const char* what) { return std::string(what) + ": " + SDL_GetError(); }

bool start_mixer(std::string& error) {
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
    error = sdl_error("SDL audio");
    return false;
  }
  // Songs need the MIDI player; sounds play without it, so its absence is no
  // reason to stay silent (a song then fails to load).
  Mix_Init(MIX_INIT_MID);
  // The soundfont must be chosen before the mixer opens.
  const std::string font = system_soundfont();
  if (!font.empty()) Mix_SetSoundFonts(font.c_str());
  if (Mix_OpenAudio(kRate, AUDIO_S16SYS, kOutputChannels, kChunkFrames) != 0) {
    error = sdl_error("SDL_mixer");
    Mix_Quit();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return false;
  }
  Mix_AllocateChannels(kMixChannels);
  return true;
}

void stop_mixer() {
  Mix_HaltChannel(-1);
  Mix_HaltMusic();
  Mix_CloseAudio();
  Mix_Quit();
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

// Whether the file starts like a RIFF WAVE file; the mixer would also load
// other formats under a .WAV name.
bool looks_like_wav(const std::string& path) {
  UniqueFile f = open_regular_file(path);
  if (!f) return false;
  std::array<char, 12> head{};
  const bool whole = std::fread(head.data(), 1, head.size(), f.get()) == head.size();
  return whole && std::memcmp(head.data(), "RIFF", 4) == 0 && std::memcmp(head.data() + 8, "WAVE", 4) == 0;
}

class SdlMixerAudio final : public AudioBackend {
 public:
  SdlMixerAudio() = default;
  SdlMixerAudio(const SdlMixerAudio&) = delete;
  SdlMixerAudio& operator=(const SdlMixerAudio&) = delete;

  ~SdlMixerAudio() override {
    if (!open_) return;
    stop_song();
    stop_sound();
    if (--g_open_outputs == 0) stop_mixer();
  }

  bool open(std::string& error) override {
    if (open_) return true;
    if (g_open_outputs == 0 && !start_mixer(error)) return false;
    ++g_open_outputs;
    open_ = true;
    return true;
  }

  bool play_song(const std::string& path, std::string& error) override {
    stop_song();
    Mix_Music* music = Mix_LoadMUS(path.c_str());
    if (!music) {
      error = sdl_error("cannot load");
      return false;
    }
    if (Mix_GetMusicType(music) != MUS_MID) {
      Mix_FreeMusic(music);
      error = "not a MIDI song";
      return false;
    }
    if (Mix_PlayMusic(music, 1) != 0) {  // once
      error = sdl_error("cannot play");
      Mix_FreeMusic(music);
      return false;
    }
    music_ = music;
    g_started_music = music;
    return true;
  }

  void stop_song() override {
    if (!music_) return;
    if (g_started_music == music_) g_started_music = nullptr;
    Mix_FreeMusic(music_);  // halts it first when it still plays
    music_ = nullptr;
  }

  bool play_sound(const std::string& path, bool loop, std::string& error) override {
    stop_sound();
    if (!looks_like_wav(path)) {
      error = "not a WAV file";
      return false;
    }
    Mix_Chunk* chunk = Mix_LoadWAV(path.c_str());
    if (!chunk) {
      error = sdl_error("cannot load");
      return false;
    }
    const int channel = Mix_PlayChannel(-1, chunk, loop ? -1 : 0);
    if (channel < 0) {
      error = sdl_error("cannot play");
      Mix_FreeChunk(chunk);
      return false;
    }
    chunk_ = chunk;
    channel_ = channel;
    return true;
  }

  void stop_sound() override {
    if (!chunk_) return;
    if (Mix_GetChunk(channel_) == chunk_) Mix_HaltChannel(channel_);
    Mix_FreeChunk(chunk_);
    chunk_ = nullptr;
    channel_ = -1;
  }

  bool song_sounding() const override {
    return music_ && g_started_music == music_ && Mix_PlayingMusic() != 0;
  }

  bool sound_sounding() const override {
    return chunk_ && Mix_Playing(channel_) != 0 && Mix_GetChunk(channel_) == chunk_;
  }

 private:
  bool open_ = false;
  Mix_Music* music_ = nullptr;
  Mix_Chunk* chunk_ = nullptr;
  int channel_ = -1;
};

}  // namespace

std::unique_ptr<AudioBackend> make_sdl_mixer_audio() { return std::make_unique<SdlMixerAudio>(); }

void use_sdl_mixer_audio() { set_audio_backend(&make_sdl_mixer_audio); }

std::string system_soundfont() {
  return choose_soundfont(KELVO_GM_SOUNDFONT, "/usr/share/sounds/sf2", "/usr/share/sounds/sf3/default-GM.sf3");
}

}  // namespace kelvo
