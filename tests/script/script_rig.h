// An engine with a few objects and a script run by the interpreter on the
// test's own thread: the test executes lines and draws frames (the motion
// step and the text overlay's use of the event table) in between.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "motion/events.h"
#include "motion/motion_step.h"
#include "motion/object_transform.h"
#include "render/text_overlay.h"
#include "scene/engine_state.h"
#include "script/script_interpreter.h"
#include "support/recording_platform.h"

namespace kelvo::test {

class CursorPlatform : public RecordingPlatform {
 public:
  std::pair<int, int> cursor{400, 300};
  int warps = 0;
  std::pair<int, int> cursor_pos() override { return cursor; }
  void set_cursor_pos(int x, int y) override {
    cursor = {x, y};
    ++warps;
  }
};

// A box from `lo` to `hi` with six quads; face colour (alpha, r, g, b) = 60,
// 61, 62, 63; corner colours 0x05060708.
inline Object box(Vec3 lo, Vec3 hi, std::int32_t index) {
  Object o;
  for (int i = 0; i < 8; ++i)
    o.vertices.push_back({{(i & 1) ? hi.x : lo.x, (i & 2) ? hi.y : lo.y, (i & 4) ? hi.z : lo.z}, 0x01020304u, {}});
  for (const auto& q : {std::array<std::int32_t, 4>{0, 1, 3, 2}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 3, 7, 6},
                        {0, 2, 6, 4}, {1, 3, 7, 5}}) {
    Face f;
    f.corners = q, f.corner_count = 4;
    f.alpha = 60, f.red = 61, f.green = 62, f.blue = 63;
    f.corner_colours.fill(0x05060708u);
    o.faces.push_back(f);
  }
  o.vertex_count = 8, o.face_count = 6, o.index = index;
  compute_bounds(o);
  return o;
}

// The text overlay's handling of text events, without the drawing.
inline void consume_text_events(Engine& e, Platform& platform, std::vector<std::string>* shown = nullptr) {
  if (!e.script_running.load(std::memory_order_acquire)) return;
  const TextEventState* t = next_text_event(e, platform);
  if (!t) return;
  if (shown) shown->emplace_back(t->text.data());
  count_text_frame(e);
}

struct ScriptRig {
  // Declared before the engine: a script thread still running when the rig
  // goes away logs while the engine stops it.
  std::mutex log_mutex;
  std::vector<std::string> log;
  TempDir dir;
  Engine e;
  CursorPlatform platform;
  std::unique_ptr<ScriptInterpreter> script;
  std::vector<std::int64_t> sleeps;  // every wait the script asked for, in ms
  std::vector<std::string> texts;    // the text shown in each frame

  ScriptRig() {
    e.paths.dir_temp = dir.path();
    e.viewport_box = {0, 0, 800, 600};
    e.screen_centre = {400, 300};
    e.log.to_callback([this](std::string_view line) {
      std::lock_guard lock(log_mutex);
      log.emplace_back(line);
    });
  }
  Object& add_box(Vec3 lo = {-10, -10, -10}, Vec3 hi = {10, 10, 10}) {
    e.objects.push_back(box(lo, hi, static_cast<std::int32_t>(e.objects.size())));
    e.object_count = static_cast<std::int32_t>(e.objects.size());
    return e.objects.back();
  }
  // Cubes of side 20 centred at x = 0, 100, 200, ...
  void add_objects(int n) {
    for (int i = 0; i < n; ++i) {
      const float x = 100.0f * static_cast<float>(e.objects.size());
      add_box({x - 10, -10, -10}, {x + 10, 10, 10});
    }
  }
  // Writes SCRIPT1.TXT and opens it.
  void load(const std::string& text) {
    dir.write("SCRIPT1.TXT", text);
    script = std::make_unique<ScriptInterpreter>(e, e.Speed);
    ASSERT_TRUE(script->open(dir.file("SCRIPT1.TXT")));
  }
  // Loads `text` and runs it to its end: the frames drawn, or -1.
  int play(const std::string& text) {
    load(text);
    return run_to_end();
  }
  ScriptStatus step() { return script->step().status; }
  // Executes lines until the script waits for the frame loop or ends (sleeps
  // are noted and passed). Gives up after `limit` lines.
  ScriptStatus run(int limit = 100000) {
    for (int i = 0; i < limit; ++i) {
      const ScriptStep s = script->step();
      if (s.status == ScriptStatus::sleeping) sleeps.push_back(s.sleep_ms);
      if (s.status == ScriptStatus::blocked || s.status == ScriptStatus::ended) return s.status;
    }
    return ScriptStatus::ran;
  }
  void frame(int n = 1) {
    for (int i = 0; i < n; ++i) {
      motion_step(e, platform);
      consume_text_events(e, platform, &texts);
    }
  }
  // Runs the script, drawing a frame whenever it waits, until it ends.
  // Returns the frames drawn, or -1 when it did not end within 2000.
  int run_to_end() {
    for (int frames = 0; frames <= 2000; ++frames) {
      if (run() == ScriptStatus::ended) return frames;
      frame();
    }
    return -1;
  }
  EventRecord& record(int i) { return e.events[static_cast<std::size_t>(i)]; }
  // Fills record `i` as the script does: every field, then frames.
  void event(int i, std::int32_t target, std::int32_t frames, std::int32_t mode, Vec3 a = {}, Vec3 b = {}) {
    record(i).target.store(target);
    record(i).mode = mode, record(i).a = a, record(i).b = b;
    record(i).frames.store(frames, std::memory_order_release);
  }
  int active_records() const {
    return static_cast<int>(std::ranges::count_if(e.events, [](const EventRecord& r) { return r.frames.load() != 0; }));
  }
  // The queued script writes (not yet applied).
  std::vector<ScriptWrite> queued() {
    std::lock_guard lock(e.script_writes.mutex);
    return e.script_writes.writes;
  }
  int count_logged(const std::string& line) { return static_cast<int>(std::ranges::count(logged_with(line), line)); }
  // The log lines that start with `prefix`, in order.
  std::vector<std::string> logged_with(const std::string& prefix) {
    std::lock_guard lock(log_mutex);
    std::vector<std::string> out;
    std::ranges::copy_if(log, std::back_inserter(out), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
    return out;
  }
};

inline const std::string kUnknown = "script - unknow command:";

inline void expect_near(const Vec3& a, const Vec3& b, float tolerance = 1e-3f) {
  EXPECT_NEAR(a.x, b.x, tolerance);
  EXPECT_NEAR(a.y, b.y, tolerance);
  EXPECT_NEAR(a.z, b.z, tolerance);
}

}  // namespace kelvo::test
