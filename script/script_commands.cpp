// The script commands other than flow control: waits, switches, texts,
// sounds, the camera, the perspective and the objects.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>

#include "host/base/files.h"
#include "media/songs.h"
#include "media/sounds.h"
#include "script/script_interpreter.h"
#include "script/script_writes.h"

namespace kelvo {

namespace {

constexpr ScriptStep kRan{ScriptStatus::ran, 0};

// Text x and y are kept within this (far off screen) so that the overlay's
// integer conversion is always defined.
constexpr double kTextCoordinateLimit = 1e6;

ScriptWrite switch_write(ScriptWriteKind kind, std::int32_t value) {
  ScriptWrite w;
  w.kind = kind;
  w.value = value;
  return w;
}

Vec3 vec(double x, double y, double z) { return {script_float(x), script_float(y), script_float(z)}; }

// Media are members of the work directory: a name with a path in it is none.
bool plain_name(const std::string& name) { return name.find_first_of("/\\") == std::string::npos; }

// The song or sound `name` + `extension` of the work directory, whatever
// the case of its letters: a regular file (never a pipe or device, whose
// opening could block), or "".
std::string media_file(const Engine& e, const std::string& name, const char* extension) {
  std::string path = find_file(e.paths.dir_temp, name + extension);
  return !path.empty() && file_exists(path) ? path : std::string();
}

}  // namespace

std::int64_t ScriptInterpreter::object_target() const {
  if (e_.constant_object != 0 && args_[0] == 0.0) return std::int64_t{e_.constant_object} - 1;
  return std::int64_t{script_int(args_[0])} - 1;
}

bool ScriptInterpreter::valid_target(std::int64_t target) const {
  return target == kTargetCamera || (target >= 0 && target < e_.object_count);
}

ScriptStep ScriptInterpreter::cmd_double_speed(std::string_view) {
  speed_ = script_int(args_[0]);
  return write(switch_write(ScriptWriteKind::speed, speed_));
}

ScriptStep ScriptInterpreter::cmd_flush_events(std::string_view) { return wait_for_idle(AfterIdle::nothing); }

ScriptStep ScriptInterpreter::cmd_flush_object(std::string_view) {
  args_[0] -= 1;
  idle_target_ = args_[0];
  waiting_ = Waiting::idle_target;
  return retry();
}

ScriptStep ScriptInterpreter::cmd_wait(std::string_view) {
  if (speed_ == 1) args_[0] *= 0.5;
  else if (speed_ == 2) args_[0] *= 2.0;
  if (!std::isfinite(args_[0])) args_[0] = std::copysign(DBL_MAX, args_[0]);
  const std::int32_t seconds = script_int(args_[0]);
  return {ScriptStatus::sleeping, seconds > 0 ? std::int64_t{seconds} * 1000 : 0};
}

ScriptStep ScriptInterpreter::cmd_set_renderer(std::string_view) {
  return write(switch_write(ScriptWriteKind::draw_mode, script_int(args_[0])));
}

ScriptStep ScriptInterpreter::cmd_set_randomcolors(std::string_view) {
  return write(switch_write(ScriptWriteKind::random_colours, args_[0] == 0.0 ? 0 : 1));
}

ScriptStep ScriptInterpreter::cmd_set_lighting(std::string_view) {
  return write(switch_write(ScriptWriteKind::lighting, script_int(args_[0])));
}

ScriptStep ScriptInterpreter::cmd_set_fog(std::string_view) {
  return write(switch_write(ScriptWriteKind::fog, script_int(args_[0])));
}

ScriptStep ScriptInterpreter::cmd_set_smooth(std::string_view) {
  return write(switch_write(ScriptWriteKind::smooth, script_int(args_[0])));
}

ScriptStep ScriptInterpreter::cmd_set_constant_frames(std::string_view) {
  e_.constant_frames.store(script_int(args_[0]), std::memory_order_relaxed);
  return kRan;
}

ScriptStep ScriptInterpreter::cmd_set_constant_object(std::string_view) {
  if (text1_.find("loopvalue") != std::string::npos || args_[0] == 0.0) {
    const int i = innermost();
    if (i >= 0) e_.constant_object = stack_[static_cast<std::size_t>(i)].counter;
  } else {
    e_.constant_object = script_int(args_[0]);
  }
  return kRan;
}

ScriptStep ScriptInterpreter::cmd_set_particles(std::string_view) {
  return write(switch_write(ScriptWriteKind::particles, script_int(args_[0])));
}

ScriptStep ScriptInterpreter::cmd_set_feedback(std::string_view) {
  return write(switch_write(ScriptWriteKind::feedback, script_int(args_[0])));
}

ScriptStep ScriptInterpreter::cmd_draw_text(std::string_view) {
  PendingRecord r;
  r.target = kTargetText;
  r.mode = kModeText;
  r.frames = script_int(args_[0]);
  r.a.x = script_float(std::clamp(args_[1], -kTextCoordinateLimit, kTextCoordinateLimit));
  r.a.y = script_float(std::clamp(args_[2], -kTextCoordinateLimit, kTextCoordinateLimit));
  r.write_a_z = false;
  r.write_b = false;
  const std::size_t n = std::min(text4_.size(), kEventTextSize - 1);
  std::memcpy(r.text.data(), text4_.data(), n);
  r.text[n] = '\0';
  r.write_text = true;
  return wait_for_record(r);
}

ScriptStep ScriptInterpreter::cmd_set_textparams(std::string_view) {
  TextParameters& t = e_.text_parameters;
  t.width.store(script_int(args_[0]), std::memory_order_relaxed);
  t.height.store(script_int(args_[1]), std::memory_order_relaxed);
  t.red.store(script_int(args_[2]), std::memory_order_relaxed);
  t.green.store(script_int(args_[3]), std::memory_order_relaxed);
  t.blue.store(script_int(args_[4]), std::memory_order_relaxed);
  t.alpha.store(script_int(args_[5]), std::memory_order_relaxed);
  return kRan;
}

ScriptStep ScriptInterpreter::cmd_play_midi(std::string_view) {
  if (!e_.Sounds) return kRan;
  if (!plain_name(text1_)) {
    debug_log(e_.log, "script - song name with a path: %s", text1_.c_str());
    return kRan;
  }
  const std::string path = media_file(e_, text1_, ".MID");
  if (!path.empty()) start_song(e_, path);
  return kRan;
}

ScriptStep ScriptInterpreter::cmd_play_wav(std::string_view keyword) {
  if (!e_.Sounds) return kRan;
  stop_sound(e_);
  if (!plain_name(text1_)) {
    debug_log(e_.log, "script - sound name with a path: %s", text1_.c_str());
    return kRan;
  }
  const std::string path = media_file(e_, text1_, ".WAV");
  if (!path.empty()) play_sound(e_, path, keyword == "playnostop_wav");
  return kRan;
}

ScriptStep ScriptInterpreter::cmd_camera(std::string_view keyword) {
  PendingRecord r;
  r.target = kTargetCamera;
  if (keyword == "random_camera") {
    for (int i = 0; i < 7; ++i) {
      if (args_[static_cast<std::size_t>(i)] < 0.0) {
        debug_log(e_.log, "script - random_camera bound below 0");
        return kRan;
      }
    }
    // Each bound that is not 0 draws until a number does not exceed it.
    auto draw = [this](double bound) {
      if (bound == 0.0) return 0;
      int n;
      do n = random_next(e_.random);
      while (n > bound);
      return n;
    };
    r.mode = kModeGoTo;
    r.frames = draw(args_[0]);
    r.a.x = static_cast<float>(draw(args_[1]));
    r.a.y = static_cast<float>(draw(args_[2]));
    r.a.z = static_cast<float>(draw(args_[3]));
    r.b.x = static_cast<float>(draw(args_[4]));
    r.b.y = static_cast<float>(draw(args_[5]));
    r.b.z = static_cast<float>(draw(args_[6]));
    return wait_for_record(r);
  }
  r.mode = keyword == "move_camera" ? kModeMove : kModeGoTo;
  r.frames = script_int(args_[0]);
  r.a = vec(args_[1], args_[2], args_[3]);
  r.b = vec(args_[4], args_[5], args_[6]);
  return wait_for_record(r);
}

ScriptStep ScriptInterpreter::cmd_fix_camera(std::string_view) {
  ScriptWrite w;
  w.kind = ScriptWriteKind::fix_camera;
  w.pos = vec(args_[0], args_[1], args_[2]);
  w.rot = vec(args_[3], args_[4], args_[5]);
  return write(w);
}

ScriptStep ScriptInterpreter::cmd_change_res(std::string_view) {
  PendingRecord r;
  r.target = kTargetPerspective;
  r.frames = script_int(args_[0]);
  r.a.x = script_float(args_[1]);
  r.a.y = script_float(args_[2]);
  r.write_a_z = false;
  r.write_mode = false;
  r.write_b = false;
  return wait_for_record(r);
}

ScriptStep ScriptInterpreter::cmd_show_hide(std::string_view keyword) {
  std::int64_t number = script_int(args_[0]);
  if (e_.constant_object != 0 && args_[0] == 0.0) number = e_.constant_object;
  const std::int64_t index = number - 1;
  if (index < 0 || index >= e_.object_count) {
    debug_log(e_.log, "script - no object %lld", static_cast<long long>(number));
    return kRan;
  }
  ScriptWrite w;
  w.kind = ScriptWriteKind::object_visible;
  w.object = static_cast<std::int32_t>(index);
  w.value = keyword == "show_object" ? 1 : 0;
  return write(w);
}

// move_object, position_object, rotate_object and rotate_center: one object
// record; the rotations take no position and their angles from argument 3.
ScriptStep ScriptInterpreter::cmd_object(std::string_view keyword) {
  const std::int64_t target = object_target();
  if (!valid_target(target)) {
    debug_log(e_.log, "script - no object %lld", static_cast<long long>(target + 1));
    return kRan;
  }
  PendingRecord r;
  r.target = static_cast<std::int32_t>(target);
  r.frames = script_int(args_[1]);
  if (keyword == "rotate_object" || keyword == "rotate_center") {
    r.mode = keyword == "rotate_object" ? kModeOrbit : kModeSpin;
    r.b = vec(args_[2], args_[3], args_[4]);
  } else {
    r.mode = keyword == "move_object" ? kModeMove : kModeGoTo;
    r.a = vec(args_[2], args_[3], args_[4]);
    r.b = vec(args_[5], args_[6], args_[7]);
  }
  r.object_record = true;
  return wait_for_record(r);
}

}  // namespace kelvo
