#include "media/mci_audio.h"

#include <windows.h>

#include <mmsystem.h>

#include <cstdio>

namespace kelvo {

namespace {

std::string mci_error(const char* what, MCIERROR code) {
  char text[256] = "";
  if (!mciGetErrorStringA(code, text, sizeof text)) std::snprintf(text, sizeof text, "MCI error %lu", code);
  return std::string(what) + ": " + text;
}

// Every call comes with the media lock held (media/audio.h), so the device
// identifier needs no lock of its own. Nothing here waits for the device:
// without a sound card the sequencer "plays" and never reports its end, so a
// wait would never return.
class MciAudio final : public AudioBackend {
 public:
  explicit MciAudio(HWND notify_window) : notify_window_(notify_window) {}
  MciAudio(const MciAudio&) = delete;
  MciAudio& operator=(const MciAudio&) = delete;

  ~MciAudio() override {
    stop_song();
    stop_sound();
  }

  // The devices are the system's; whether they reach a speaker shows when a
  // song or sound is started.
  bool open(std::string&) override { return true; }

  bool play_song(const std::string& path, std::string& error) override {
    stop_song();
    MCI_OPEN_PARMSA open{};
    open.lpstrDeviceType = "sequencer";
    open.lpstrElementName = path.c_str();
    MCIERROR r = mciSendCommandA(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_ELEMENT, reinterpret_cast<DWORD_PTR>(&open));
    if (r != 0) {
      error = mci_error("sequencer open", r);
      return false;
    }
    device_ = open.wDeviceID;
    // The port query proves that the sequencer reaches a MIDI output.
    MCI_STATUS_PARMS status{};
    status.dwItem = MCI_SEQ_STATUS_PORT;
    r = mciSendCommandA(device_, MCI_STATUS, MCI_STATUS_ITEM, reinterpret_cast<DWORD_PTR>(&status));
    if (r != 0) {
      error = mci_error("status failed", r);
      stop_song();
      return false;
    }
    MCI_PLAY_PARMS play{};
    play.dwCallback = reinterpret_cast<DWORD_PTR>(notify_window_);
    r = mciSendCommandA(device_, MCI_PLAY, MCI_NOTIFY, reinterpret_cast<DWORD_PTR>(&play));
    if (r != 0) {
      error = mci_error("play", r);
      stop_song();
      return false;
    }
    return true;
  }

  void stop_song() override {
    if (device_ == 0) return;
    mciSendCommandA(device_, MCI_CLOSE, 0, 0);
    device_ = 0;
  }

  bool play_sound(const std::string& path, bool loop, std::string& error) override {
    stop_sound();
    DWORD flags = SND_FILENAME | SND_ASYNC | SND_NODEFAULT;
    if (loop) flags |= SND_LOOP;
    if (!PlaySoundA(path.c_str(), nullptr, flags)) {
      error = "the sound player refused it";
      return false;
    }
    looping_ = loop;
    return true;
  }

  void stop_sound() override {
    PlaySoundA(nullptr, nullptr, SND_PURGE);
    looping_ = false;
  }

  bool song_sounding() const override {
    if (device_ == 0) return false;
    MCI_STATUS_PARMS status{};
    status.dwItem = MCI_STATUS_MODE;
    if (mciSendCommandA(device_, MCI_STATUS, MCI_STATUS_ITEM, reinterpret_cast<DWORD_PTR>(&status)) != 0)
      return false;
    return status.dwReturn == MCI_MODE_PLAY;
  }

  // The system's player does not say when a sound has ended: only a looping
  // sound is known to sound until it is stopped.
  bool sound_sounding() const override { return looping_; }

 private:
  HWND notify_window_;
  MCIDEVICEID device_ = 0;
  bool looping_ = false;
};

}  // namespace

std::unique_ptr<AudioBackend> make_mci_audio(void* notify_window) {
  return std::make_unique<MciAudio>(static_cast<HWND>(notify_window));
}

}  // namespace kelvo
