#include "support/recording_platform.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <stdlib.h>

namespace kelvo::test {

namespace fs = std::filesystem;

TempDir::TempDir() {
  std::string pattern = (fs::temp_directory_path() / "kelvo-test-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern + "/";
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

void TempDir::write(const std::string& name, const std::string& bytes) const {
  std::ofstream out(file(name), std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string TempDir::read(const std::string& name) const {
  std::ifstream in(file(name), std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::string> TempDir::list() const {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(path_)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

void RecordingPlatform::record_log(Engine& e) {
  e.log.to_callback([this](std::string_view line) { calls.push_back("log: " + std::string(line)); });
}

int RecordingPlatform::index_of(const std::string& name) const {
  auto it = std::find(calls.begin(), calls.end(), name);
  return it == calls.end() ? -1 : static_cast<int>(it - calls.begin());
}

void RecordingPlatform::set_thread_priority(ThreadPriority p) {
  calls.push_back(p == ThreadPriority::highest  ? "priority_highest"
                  : p == ThreadPriority::normal ? "priority_normal"
                                                : "priority_lowest");
}

bool RecordingPlatform::set_display_mode(int w, int h) {
  calls.push_back("set_display_mode " + std::to_string(w) + "x" + std::to_string(h));
  return display_mode_ok;
}

bool RecordingPlatform::create_gl_context() {
  calls.push_back("create_gl_context");
  if (!pixel_format_ok) return false;
  gl = std::make_unique<OsmesaContext>(rect.right - rect.left, rect.bottom - rect.top);
  return gl->ok();
}

void RecordingPlatform::message_box(const char* text, const char* title) {
  calls.push_back(std::string("message_box ") + title + ": " + text);
}

long RecordingPlatform::default_proc(const WindowMessage& m) {
  if (m.type == MessageType::key_down || m.type == MessageType::mouse_button) {
    calls.push_back("close_request");
    ++close_requests;
  }
  return 0;
}

}  // namespace kelvo::test
