// The script interpreter: executes a script file line by line, the file
// position being its program counter.
//
// It never sleeps or polls itself. step() executes one line (or retries a
// command that had to wait) and says what the caller must do next: go on,
// come back later (a free event record, an idle event table, room in the
// queue of script writes), sleep, or stop. The script thread drives it with
// real waits; tests drive it on their own thread and step frames in between.
//
// Engine state it touches, all from the calling thread: the event records
// (through their atomics), constant_frames, text_parameters,
// constant_object, script_running and the queue of script writes. It reads
// object_count, Sounds and the work directory, which do not change while a
// script runs.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "scene/engine_state.h"
#include "script/script_reader.h"

namespace kelvo {

enum class ScriptStatus {
  ran,       // a line was executed (or skipped): step again
  blocked,   // a command waits for the frame loop: step again later
  sleeping,  // a wait command ran: sleep sleep_ms, then step again
  ended,     // the script is over; the file is closed
};

struct ScriptStep {
  ScriptStatus status = ScriptStatus::ran;
  std::int64_t sleep_ms = 0;
};

inline constexpr int kScriptStackSize = 20;
inline constexpr int kScriptArgCount = 8;

class ScriptInterpreter {
 public:
  // `speed` is the Speed setting in force when the script starts; the script
  // keeps its own copy for its waits (the engine's is changed through the
  // queue of script writes).
  ScriptInterpreter(Engine& e, std::int32_t speed);

  // Opens the script; logs "scene script open failed" and returns false when
  // it cannot. On success sets the script-running flag and queues the objects
  // move switch on.
  bool open(const std::string& path);

  ScriptStep step();
  bool ended() const { return ended_; }

  // For inspection.
  double arg(int n) const { return args_[static_cast<std::size_t>(n - 1)]; }  // n = 1..8
  const std::string& text1() const { return text1_; }
  const std::string& text4() const { return text4_; }
  int stack_depth() const;
  std::int32_t speed() const { return speed_; }

 private:
  enum class Search { none, procedure, label };
  enum class Waiting { nothing, free_record, idle_table, idle_target, write_room };
  enum class AfterIdle { nothing, go_to, restart, end };

  struct StackEntry {
    long position = 0;  // in use when not 0
    std::int32_t counter = 0;
  };

  // A record a command has prepared and waits to hand over.
  struct PendingRecord {
    std::int32_t target = 0;
    std::int32_t frames = 0;
    std::int32_t mode = 0;
    bool write_mode = true;
    Vec3 a, b;
    bool write_a_z = true;  // draw_text and change_res leave a.z as it was
    bool write_b = true;
    std::array<char, kEventTextSize> text{};
    bool write_text = false;
    bool object_record = false;  // only records 0 .. object count - 1
  };

  // Called with the keyword that matched (commands that share a handler
  // choose by it).
  using Handler = ScriptStep (ScriptInterpreter::*)(std::string_view keyword);
  struct Command {
    std::string_view keyword;
    Handler handler;
  };
  static const std::array<Command, 37> kCommands;

  ScriptStep execute(std::string_view word);
  ScriptStep retry();
  void update_args(const std::vector<std::string_view>& tokens);
  int innermost() const;  // highest entry in use, -1 when none
  int push(std::int32_t counter);  // lowest free entry, -1 when full
  bool table_idle() const;
  bool target_idle(double target) const;
  bool try_hand_over(const PendingRecord& r);
  ScriptStep wait_for_record(const PendingRecord& r);
  ScriptStep wait_for_idle(AfterIdle after);
  ScriptStep write(const ScriptWrite& w);
  ScriptStep begin_end();
  ScriptStep finish();
  std::int64_t object_target() const;  // target of an object command: an index or -1 (camera)
  bool valid_target(std::int64_t target) const;

  // Flow control (script_interpreter.cpp).
  ScriptStep cmd_startloop(std::string_view);
  ScriptStep cmd_endloop(std::string_view);
  ScriptStep cmd_gosub(std::string_view);
  ScriptStep cmd_goto(std::string_view);
  ScriptStep cmd_restart(std::string_view);
  ScriptStep cmd_return(std::string_view);
  ScriptStep cmd_exit(std::string_view);
  // The other commands (script_commands.cpp).
  ScriptStep cmd_double_speed(std::string_view);
  ScriptStep cmd_flush_events(std::string_view);
  ScriptStep cmd_flush_object(std::string_view);
  ScriptStep cmd_wait(std::string_view);
  ScriptStep cmd_set_renderer(std::string_view);
  ScriptStep cmd_set_randomcolors(std::string_view);
  ScriptStep cmd_set_lighting(std::string_view);
  ScriptStep cmd_set_fog(std::string_view);
  ScriptStep cmd_set_smooth(std::string_view);
  ScriptStep cmd_set_constant_frames(std::string_view);
  ScriptStep cmd_set_constant_object(std::string_view);
  ScriptStep cmd_set_particles(std::string_view);
  ScriptStep cmd_set_feedback(std::string_view);
  ScriptStep cmd_draw_text(std::string_view);
  ScriptStep cmd_set_textparams(std::string_view);
  ScriptStep cmd_play_midi(std::string_view);
  ScriptStep cmd_play_wav(std::string_view);
  ScriptStep cmd_camera(std::string_view);
  ScriptStep cmd_fix_camera(std::string_view);
  ScriptStep cmd_change_res(std::string_view);
  ScriptStep cmd_show_hide(std::string_view);
  ScriptStep cmd_object(std::string_view);

  Engine& e_;
  std::int32_t speed_;
  ScriptFile file_;
  bool ended_ = false;

  std::array<double, kScriptArgCount> args_{};
  std::string text1_, text4_;
  std::array<StackEntry, kScriptStackSize> stack_{};
  Search search_ = Search::none;
  std::string search_name_;

  Waiting waiting_ = Waiting::nothing;
  AfterIdle after_idle_ = AfterIdle::nothing;
  std::string after_name_;  // the label a waiting goto searches for
  double idle_target_ = 0;
  PendingRecord record_;
  ScriptWrite write_;
};

}  // namespace kelvo
