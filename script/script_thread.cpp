#include "script/script_thread.h"

#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

#include "host/base/files.h"
#include "host/base/thread_setup.h"
#include "script/script_interpreter.h"

namespace kelvo {

namespace {

// How often a command that waits for the frame loop looks again.
constexpr std::chrono::milliseconds kPollInterval{1};
// Lines run in a row before the thread lets others run (a script that loops
// without waiting must not starve the frame loop).
constexpr int kLinesBeforeYield = 256;

void reset_consumers(Engine& e) {
  e.camera_event.cursor = 0;
  e.camera_event.frames_left = 0;
  e.perspective_event.cursor = 0;
  e.perspective_event.frames_left = 0;
  e.text_event.cursor = 0;
  e.text_event.frames_left = 0;
}

// The Speed the script starts with: the setting, or the last change an
// earlier script queued and the frame loop has not applied yet.
std::int32_t starting_speed(Engine& e) {
  std::int32_t speed = e.Speed;
  std::lock_guard lock(e.script_writes.mutex);
  for (const ScriptWrite& w : e.script_writes.writes)
    if (w.kind == ScriptWriteKind::speed) speed = w.value;
  return speed;
}

}  // namespace

// Owns the thread; destroying it requests the stop and joins.
class ScriptThread {
 public:
  ScriptThread(Engine& e, std::int32_t speed)
      : thread_([&e, speed](std::stop_token stop) { run_script(e, speed, stop); }) {}

 private:
  std::jthread thread_;
};

void ScriptThreadDeleter::operator()(ScriptThread* thread) const { delete thread; }

void run_script(Engine& e, std::int32_t speed, std::stop_token stop) {
  name_current_thread("kelvo-script");
  lower_current_thread_priority();
  ScriptInterpreter script(e, speed);
  if (!script.open(e.script_path)) return;

  std::mutex mutex;
  std::condition_variable_any wake;  // only a stop request wakes it early
  std::unique_lock lock(mutex);
  const auto never = [] { return false; };
  int lines = 0;
  while (!stop.stop_requested()) {
    const ScriptStep s = script.step();
    switch (s.status) {
      case ScriptStatus::ran:
        if (++lines >= kLinesBeforeYield) {
          lines = 0;
          std::this_thread::yield();
        }
        break;
      case ScriptStatus::blocked:
        lines = 0;
        wake.wait_for(lock, stop, kPollInterval, never);
        break;
      case ScriptStatus::sleeping:
        lines = 0;
        // A wait shorter than a millisecond still gives the processor away.
        if (s.sleep_ms > 0)
          wake.wait_for(lock, stop, std::chrono::milliseconds(s.sleep_ms), never);
        else
          std::this_thread::yield();
        break;
      case ScriptStatus::ended:
        return;
    }
  }
  // Stopped: the script file closes with the interpreter, after its last use.
}

int start_script(Engine& e, const std::string& name) {
  stop_script(e);
  for (Object& o : e.objects) {
    o.motion.cursor = 0;
    o.motion.frames_left = 0;
  }
  for (EventRecord& r : e.events) {
    r.target.store(kTargetDone, std::memory_order_relaxed);
    r.frames.store(0, std::memory_order_relaxed);
    r.mode = 0;
    r.a = {};
    r.b = {};
    r.text = {};
  }

  e.script_path = find_file(e.paths.dir_temp, name + ".TXT");
  if (e.script_path.empty()) e.script_path = e.paths.dir_temp + name + ".TXT";
  if (!file_exists(e.script_path)) {
    debug_log(e.log, "scene script failed %s", e.script_path.c_str());
    return 0;
  }
  debug_log(e.log, "running script %s", e.script_path.c_str());
  e.objects_move_switch = 1;
  try {
    e.script_thread.reset(new ScriptThread(e, starting_speed(e)));
  } catch (const std::exception&) {
    return 0;
  }
  debug_log(e.log, "Script thread started");
  return 1;
}

void stop_script(Engine& e) {
  e.script_thread.reset();  // requests the stop and joins
  e.script_running.store(0, std::memory_order_release);
  reset_consumers(e);
}

}  // namespace kelvo
