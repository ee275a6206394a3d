#include "script/script_interpreter.h"

#include <climits>

#include "script/script_writes.h"

namespace kelvo {

// The keywords in the order they are tried: a command word runs the first
// keyword it contains.
const std::array<ScriptInterpreter::Command, 37> ScriptInterpreter::kCommands{{
    {"startloop", &ScriptInterpreter::cmd_startloop},
    {"endloop", &ScriptInterpreter::cmd_endloop},
    {"gosub", &ScriptInterpreter::cmd_gosub},
    {"goto", &ScriptInterpreter::cmd_goto},
    {"restart", &ScriptInterpreter::cmd_restart},
    {"return", &ScriptInterpreter::cmd_return},
    {"exit", &ScriptInterpreter::cmd_exit},
    {"double_speed", &ScriptInterpreter::cmd_double_speed},
    {"set_double_speed", &ScriptInterpreter::cmd_double_speed},
    {"flush_events", &ScriptInterpreter::cmd_flush_events},
    {"flush_object", &ScriptInterpreter::cmd_flush_object},
    {"wait", &ScriptInterpreter::cmd_wait},
    {"set_renderer", &ScriptInterpreter::cmd_set_renderer},
    {"set_randomcolors", &ScriptInterpreter::cmd_set_randomcolors},
    {"set_lighting", &ScriptInterpreter::cmd_set_lighting},
    {"set_fog", &ScriptInterpreter::cmd_set_fog},
    {"set_smooth", &ScriptInterpreter::cmd_set_smooth},
    {"set_constant_frames", &ScriptInterpreter::cmd_set_constant_frames},
    {"set_constant_object", &ScriptInterpreter::cmd_set_constant_object},
    {"set_particles", &ScriptInterpreter::cmd_set_particles},
    {"set_feedback", &ScriptInterpreter::cmd_set_feedback},
    {"draw_text", &ScriptInterpreter::cmd_draw_text},
    {"set_textparams", &ScriptInterpreter::cmd_set_textparams},
    {"play_midi", &ScriptInterpreter::cmd_play_midi},
    {"play_wav", &ScriptInterpreter::cmd_play_wav},
    {"playnostop_wav", &ScriptInterpreter::cmd_play_wav},
    {"move_camera", &ScriptInterpreter::cmd_camera},
    {"random_camera", &ScriptInterpreter::cmd_camera},
    {"position_camera", &ScriptInterpreter::cmd_camera},
    {"fix_camera", &ScriptInterpreter::cmd_fix_camera},
    {"change_res", &ScriptInterpreter::cmd_change_res},
    {"hide_object", &ScriptInterpreter::cmd_show_hide},
    {"show_object", &ScriptInterpreter::cmd_show_hide},
    {"move_object", &ScriptInterpreter::cmd_object},
    {"position_object", &ScriptInterpreter::cmd_object},
    {"rotate_object", &ScriptInterpreter::cmd_object},
    {"rotate_center", &ScriptInterpreter::cmd_object},
}};

namespace {

constexpr ScriptStep kRan{ScriptStatus::ran, 0};
constexpr ScriptStep kBlocked{ScriptStatus::blocked, 0};

bool contains(std::string_view word, std::string_view keyword) { return word.find(keyword) != std::string_view::npos; }

}  // namespace

ScriptInterpreter::ScriptInterpreter(Engine& e, std::int32_t speed) : e_(e), speed_(speed) {}

bool ScriptInterpreter::open(const std::string& path) {
  if (!file_.open(path)) {
    debug_log(e_.log, "scene script open failed");
    ended_ = true;
    return false;
  }
  e_.script_running.store(1, std::memory_order_release);
  ScriptWrite move_on;
  move_on.kind = ScriptWriteKind::objects_move;
  move_on.value = 1;
  queue_script_write(e_, move_on);  // the queue may be full of an earlier script's writes; the start set it too
  return true;
}

ScriptStep ScriptInterpreter::step() {
  if (ended_) return {ScriptStatus::ended, 0};
  if (waiting_ != Waiting::nothing) return retry();

  std::string line;
  if (!file_.read_line(line)) return begin_end();
  if (!line.empty() && line[0] == '/') return kRan;
  const std::vector<std::string_view> tokens = split_script_line(line);
  // A line without tokens is its own command word (and matches nothing).
  const std::string_view word = tokens.empty() ? std::string_view(line) : tokens[0];
  if (!word.empty() && word[0] == '/') return kRan;
  update_args(tokens);

  if (search_ == Search::procedure) {
    if (contains(word, "procedure") && text1_ == search_name_) search_ = Search::none;
    return kRan;
  }
  if (search_ == Search::label) {
    if (contains(word, "label") && text1_ == search_name_) search_ = Search::none;
    return kRan;
  }
  return execute(word);
}

void ScriptInterpreter::update_args(const std::vector<std::string_view>& tokens) {
  const std::size_t count = tokens.size() < 1 + kScriptArgCount ? tokens.size() : 1 + kScriptArgCount;
  for (std::size_t i = 1; i < count; ++i) {
    args_[i - 1] = script_number(tokens[i]);
    if (i == 1) text1_ = tokens[i];
    if (i == 4) text4_ = tokens[i];
  }
}

ScriptStep ScriptInterpreter::execute(std::string_view word) {
  for (const Command& c : kCommands)
    if (contains(word, c.keyword)) return (this->*c.handler)(c.keyword);
  const std::string text(word);
  debug_log(e_.log, "script - unknow command:%s", text.c_str());
  return kRan;
}

// --- waiting for the frame loop ---------------------------------------------

ScriptStep ScriptInterpreter::retry() {
  switch (waiting_) {
    case Waiting::nothing:
      return kRan;
    case Waiting::free_record:
      if (!try_hand_over(record_)) return kBlocked;
      break;
    case Waiting::write_room:
      if (!queue_script_write(e_, write_)) return kBlocked;
      break;
    case Waiting::idle_target:
      if (!target_idle(idle_target_)) return kBlocked;
      break;
    case Waiting::idle_table:
      if (!table_idle()) return kBlocked;
      waiting_ = Waiting::nothing;
      switch (after_idle_) {
        case AfterIdle::nothing:
          break;
        case AfterIdle::go_to:
          file_.seek(0);
          search_ = Search::label;
          search_name_ = after_name_;
          break;
        case AfterIdle::restart:
          stack_.fill({});
          search_ = Search::none;
          file_.seek(0);
          break;
        case AfterIdle::end:
          return finish();
      }
      return kRan;
  }
  waiting_ = Waiting::nothing;
  return kRan;
}

bool ScriptInterpreter::table_idle() const {
  for (const EventRecord& r : e_.events)
    if (r.frames.load(std::memory_order_acquire) != 0) return false;
  return true;
}

bool ScriptInterpreter::target_idle(double target) const {
  for (const EventRecord& r : e_.events)
    if (r.frames.load(std::memory_order_acquire) != 0 &&
        static_cast<double>(r.target.load(std::memory_order_relaxed)) == target)
      return false;
  return true;
}

bool ScriptInterpreter::try_hand_over(const PendingRecord& p) {
  std::int32_t limit = kEventCount;
  if (p.object_record) limit = e_.object_count < 0 ? 0 : e_.object_count < kEventCount ? e_.object_count : kEventCount;
  for (std::int32_t i = 0; i < limit; ++i) {
    EventRecord& r = e_.events[static_cast<std::size_t>(i)];
    if (r.frames.load(std::memory_order_acquire) != 0) continue;
    // Free: ours until `frames` is written.
    r.target.store(p.target, std::memory_order_relaxed);
    if (p.write_mode) r.mode = p.mode;
    r.a.x = p.a.x;
    r.a.y = p.a.y;
    if (p.write_a_z) r.a.z = p.a.z;
    if (p.write_b) r.b = p.b;
    if (p.write_text) r.text = p.text;
    r.frames.store(p.frames, std::memory_order_release);
    return true;
  }
  return false;
}

ScriptStep ScriptInterpreter::wait_for_record(const PendingRecord& r) {
  record_ = r;
  waiting_ = Waiting::free_record;
  return retry();
}

ScriptStep ScriptInterpreter::wait_for_idle(AfterIdle after) {
  after_idle_ = after;
  after_name_ = text1_;
  waiting_ = Waiting::idle_table;
  return retry();
}

ScriptStep ScriptInterpreter::write(const ScriptWrite& w) {
  write_ = w;
  waiting_ = Waiting::write_room;
  return retry();
}

// --- the end of the script ---------------------------------------------------

ScriptStep ScriptInterpreter::begin_end() {
  file_.close();
  search_ = Search::none;
  return wait_for_idle(AfterIdle::end);
}

ScriptStep ScriptInterpreter::finish() {
  ended_ = true;
  e_.script_running.store(0, std::memory_order_release);
  return {ScriptStatus::ended, 0};
}

// --- the call and loop stack ------------------------------------------------

int ScriptInterpreter::innermost() const {
  for (int i = kScriptStackSize - 1; i >= 0; --i)
    if (stack_[static_cast<std::size_t>(i)].position != 0) return i;
  return -1;
}

int ScriptInterpreter::push(std::int32_t counter) {
  for (int i = 0; i < kScriptStackSize; ++i) {
    StackEntry& s = stack_[static_cast<std::size_t>(i)];
    if (s.position == 0) {
      s.position = file_.tell();
      s.counter = counter;
      return i;
    }
  }
  return -1;
}

int ScriptInterpreter::stack_depth() const {
  int n = 0;
  for (const StackEntry& s : stack_)
    if (s.position != 0) ++n;
  return n;
}

// --- flow control -------------------------------------------------------------

ScriptStep ScriptInterpreter::cmd_startloop(std::string_view) {
  push(script_int(args_[0]));  // ignored when the stack is full
  return kRan;
}

ScriptStep ScriptInterpreter::cmd_endloop(std::string_view) {
  const int i = innermost();
  if (i < 0) return kRan;
  StackEntry& s = stack_[static_cast<std::size_t>(i)];
  // A count of 0 or below never reaches 0: the loop runs until the script stops.
  if (s.counter != INT_MIN) --s.counter;
  if (s.counter == 0)
    s = {};
  else
    file_.seek(s.position);
  return kRan;
}

ScriptStep ScriptInterpreter::cmd_gosub(std::string_view) {
  if (push(0) < 0) return kRan;
  search_ = Search::procedure;
  search_name_ = text1_;
  return kRan;
}

ScriptStep ScriptInterpreter::cmd_return(std::string_view) {
  const int i = innermost();
  if (i < 0) return kRan;
  StackEntry& s = stack_[static_cast<std::size_t>(i)];
  file_.seek(s.position);
  s = {};
  search_ = Search::none;
  return kRan;
}

ScriptStep ScriptInterpreter::cmd_goto(std::string_view) { return wait_for_idle(AfterIdle::go_to); }

ScriptStep ScriptInterpreter::cmd_restart(std::string_view) { return wait_for_idle(AfterIdle::restart); }

ScriptStep ScriptInterpreter::cmd_exit(std::string_view) { return begin_end(); }

}  // namespace kelvo
