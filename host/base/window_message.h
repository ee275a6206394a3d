// The window messages the engine handles, in a platform-neutral form.
#pragma once

namespace kelvo {

enum class MessageType {
  create,        // the window exists: run start-up
  paint,         // draw one frame
  key_down,      // `key` holds the key's character code ('0' = 0x30)
  key_up,
  mouse_move,    // `x`, `y` in window coordinates
  mouse_button,
  destroy,       // the window goes: run teardown
  resize,        // the window's client area is now `x` by `y` pixels
  other,
};

struct WindowMessage {
  MessageType type = MessageType::other;
  int key = 0;
  int x = 0, y = 0;
};

}  // namespace kelvo
