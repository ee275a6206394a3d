#include "host/sdl_platform.h"

#include "host/user_dirs_posix.h"

#include <SDL2/SDL.h>
#include <SDL2/SDL_opengl.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace kelvo {

// The framebuffer-object entry points, from GL 3.0 / ARB_framebuffer_object
// or from the EXT extensions (the same enum values).
struct SdlPlatform::Fbo {
  using GenFn = void(APIENTRY*)(GLsizei, GLuint*);
  using DeleteFn = void(APIENTRY*)(GLsizei, const GLuint*);
  using BindFn = void(APIENTRY*)(GLenum, GLuint);
  using StorageFn = void(APIENTRY*)(GLenum, GLenum, GLsizei, GLsizei);
  using AttachFn = void(APIENTRY*)(GLenum, GLenum, GLenum, GLuint);
  using StatusFn = GLenum(APIENTRY*)(GLenum);
  using BlitFn = void(APIENTRY*)(GLint, GLint, GLint, GLint, GLint, GLint, GLint, GLint, GLbitfield, GLenum);

  GenFn gen_framebuffers = nullptr;
  DeleteFn delete_framebuffers = nullptr;
  BindFn bind_framebuffer = nullptr;
  GenFn gen_renderbuffers = nullptr;
  DeleteFn delete_renderbuffers = nullptr;
  BindFn bind_renderbuffer = nullptr;
  StorageFn renderbuffer_storage = nullptr;
  AttachFn framebuffer_renderbuffer = nullptr;
  StatusFn check_framebuffer_status = nullptr;
  BlitFn blit_framebuffer = nullptr;

  GLuint framebuffer = 0;
  GLuint colour = 0;
  GLuint depth = 0;
  int width = 0, height = 0;

  // Loads the entry points of the current context; false when it has none.
  bool load() {
    const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    const bool gl3 = version && std::atoi(version) >= 3;
    const char* suffix;
    if (gl3 || SDL_GL_ExtensionSupported("GL_ARB_framebuffer_object")) {
      suffix = "";
    } else if (SDL_GL_ExtensionSupported("GL_EXT_framebuffer_object") &&
               SDL_GL_ExtensionSupported("GL_EXT_framebuffer_blit")) {
      suffix = "EXT";
    } else {
      return false;
    }
    auto get = [suffix](const char* name) { return SDL_GL_GetProcAddress((std::string(name) + suffix).c_str()); };
    gen_framebuffers = reinterpret_cast<GenFn>(get("glGenFramebuffers"));
    delete_framebuffers = reinterpret_cast<DeleteFn>(get("glDeleteFramebuffers"));
    bind_framebuffer = reinterpret_cast<BindFn>(get("glBindFramebuffer"));
    gen_renderbuffers = reinterpret_cast<GenFn>(get("glGenRenderbuffers"));
    delete_renderbuffers = reinterpret_cast<DeleteFn>(get("glDeleteRenderbuffers"));
    bind_renderbuffer = reinterpret_cast<BindFn>(get("glBindRenderbuffer"));
    renderbuffer_storage = reinterpret_cast<StorageFn>(get("glRenderbufferStorage"));
    framebuffer_renderbuffer = reinterpret_cast<AttachFn>(get("glFramebufferRenderbuffer"));
    check_framebuffer_status = reinterpret_cast<StatusFn>(get("glCheckFramebufferStatus"));
    blit_framebuffer = reinterpret_cast<BlitFn>(get("glBlitFramebuffer"));
    return gen_framebuffers && delete_framebuffers && bind_framebuffer && gen_renderbuffers &&
           delete_renderbuffers && bind_renderbuffer && renderbuffer_storage && framebuffer_renderbuffer &&
           check_framebuffer_status && blit_framebuffer;
  }

  bool create(int w, int h) {
    width = w;
    height = h;
    gen_framebuffers(1, &framebuffer);
    bind_framebuffer(GL_FRAMEBUFFER, framebuffer);
    gen_renderbuffers(1, &colour);
    bind_renderbuffer(GL_RENDERBUFFER, colour);
    renderbuffer_storage(GL_RENDERBUFFER, GL_RGBA8, w, h);
    framebuffer_renderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour);
    gen_renderbuffers(1, &depth);
    bind_renderbuffer(GL_RENDERBUFFER, depth);
    renderbuffer_storage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT16, w, h);
    framebuffer_renderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depth);
    bind_renderbuffer(GL_RENDERBUFFER, 0);
    return check_framebuffer_status(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
  }

  void destroy() {
    if (bind_framebuffer) bind_framebuffer(GL_FRAMEBUFFER, 0);
    if (framebuffer) delete_framebuffers(1, &framebuffer);
    if (colour) delete_renderbuffers(1, &colour);
    if (depth) delete_renderbuffers(1, &depth);
    framebuffer = colour = depth = 0;
  }

  // Scales the picture onto the window's back buffer with black bars, leaving
  // the GL state as the engine set it.
  void present(int window_w, int window_h) {
    GLfloat clear[4];
    GLboolean mask[4];
    GLint scissor_box[4];
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    glGetBooleanv(GL_COLOR_WRITEMASK, mask);
    glGetIntegerv(GL_SCISSOR_BOX, scissor_box);
    const GLboolean scissor = glIsEnabled(GL_SCISSOR_TEST);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);

    bind_framebuffer(GL_DRAW_FRAMEBUFFER, 0);
    bind_framebuffer(GL_READ_FRAMEBUFFER, framebuffer);
    const FitRect r = fit_letterboxed(width, height, window_w, window_h);
    // Black bars: only the strips beside the picture are cleared.
    glEnable(GL_SCISSOR_TEST);
    glClearColor(0, 0, 0, 1);
    auto clear_strip = [](GLint x, GLint y, GLsizei w, GLsizei h) {
      if (w <= 0 || h <= 0) return;
      glScissor(x, y, w, h);
      glClear(GL_COLOR_BUFFER_BIT);
    };
    clear_strip(0, 0, r.x, window_h);
    clear_strip(r.x + r.width, 0, window_w - r.x - r.width, window_h);
    clear_strip(r.x, 0, r.width, r.y);
    clear_strip(r.x, r.y + r.height, r.width, window_h - r.y - r.height);
    glDisable(GL_SCISSOR_TEST);  // the scissor test applies to blits too
    blit_framebuffer(0, 0, width, height, r.x, r.y, r.x + r.width, r.y + r.height, GL_COLOR_BUFFER_BIT, GL_LINEAR);

    glClearColor(clear[0], clear[1], clear[2], clear[3]);
    glColorMask(mask[0], mask[1], mask[2], mask[3]);
    glScissor(scissor_box[0], scissor_box[1], scissor_box[2], scissor_box[3]);
    if (scissor) glEnable(GL_SCISSOR_TEST);
  }
};

SdlPlatform::SdlPlatform() : settings_(SettingsFile::default_path()) {}

SdlPlatform::~SdlPlatform() {
  release_gl_context();
  // SDL forgets a foreign window without destroying it.
  if (window_) SDL_DestroyWindow(window_);
  window_ = nullptr;
}

static void request_gl_attributes() {
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
}

bool SdlPlatform::open_foreign_window(std::uint64_t id, bool child_preview, std::string& error) {
  foreign_ = true;
  child_preview_ = child_preview;
  request_gl_attributes();
  SDL_SetHint(SDL_HINT_VIDEO_FOREIGN_WINDOW_OPENGL, "1");
  window_ = SDL_CreateWindowFrom(reinterpret_cast<const void*>(static_cast<std::uintptr_t>(id)));
  if (!window_) {
    error = SDL_GetError();
    return false;
  }
  return true;
}

void SdlPlatform::bring_to_front() {
  if (window_ && !foreign_) SDL_RaiseWindow(window_);
}

bool SdlPlatform::open_window(bool windowed, int width, int height, std::string& error) {
  windowed_ = windowed;
  request_gl_attributes();

  Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN;
  int x = SDL_WINDOWPOS_CENTERED, y = SDL_WINDOWPOS_CENTERED;
  if (!windowed) {
    SDL_DisplayMode desktop;
    if (SDL_GetDesktopDisplayMode(0, &desktop) == 0) {
      width = desktop.w;
      height = desktop.h;
    }
    x = y = 0;
    flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
  }
  window_ = SDL_CreateWindow("Kelvo", x, y, width, height, flags);
  if (!window_) {
    error = SDL_GetError();
    return false;
  }
  return true;
}

int SdlPlatform::refresh_rate() const {
  SDL_DisplayMode mode;
  if (window_ && SDL_GetWindowDisplayMode(window_, &mode) == 0 && mode.refresh_rate > 0) return mode.refresh_rate;
  if (SDL_GetDesktopDisplayMode(0, &mode) == 0 && mode.refresh_rate > 0) return mode.refresh_rate;
  return 0;
}

std::pair<int, int> SdlPlatform::drawable_size() const {
  int w = 0, h = 0;
  if (window_) SDL_GL_GetDrawableSize(window_, &w, &h);
  return {w, h};
}

FitRect SdlPlatform::view_rect() const {
  auto [w, h] = drawable_size();
  return fit_letterboxed(fbo_->width, fbo_->height, w, h);
}

std::pair<int, int> SdlPlatform::window_to_view(int x, int y) const {
  if (!fbo_ || fbo_->framebuffer == 0) return {x, y};
  const FitRect r = view_rect();
  if (r.width <= 0 || r.height <= 0) return {x, y};
  const int top = drawable_size().second - r.y - r.height;  // the bar above, in top-down rows
  return {static_cast<int>(static_cast<std::int64_t>(x - r.x) * fbo_->width / r.width),
          static_cast<int>(static_cast<std::int64_t>(y - top) * fbo_->height / r.height)};
}

WindowRect SdlPlatform::window_rect() {
  if (!window_) return {};
  int x = 0, y = 0, w = 0, h = 0;
  SDL_GetWindowPosition(window_, &x, &y);
  SDL_GetWindowSize(window_, &w, &h);
  return {x, y, x + w, y + h};
}

void SdlPlatform::show_cursor(bool show) {
  // The cursor over someone else's window is theirs to show or hide.
  if (foreign_) return;
  SDL_ShowCursor(show ? SDL_ENABLE : SDL_DISABLE);
}

void SdlPlatform::set_thread_priority(ThreadPriority priority) {
  SDL_ThreadPriority p = SDL_THREAD_PRIORITY_NORMAL;
  if (priority == ThreadPriority::highest) p = SDL_THREAD_PRIORITY_HIGH;
  if (priority == ThreadPriority::lowest) p = SDL_THREAD_PRIORITY_LOW;
  SDL_SetThreadPriority(p);  // not allowed for every user; the player runs either way
}

void SdlPlatform::show_window() {
  if (!window_ || foreign_) return;
  SDL_ShowWindow(window_);
  SDL_RaiseWindow(window_);
}

bool SdlPlatform::set_display_mode(int width, int height) {
  if (width < kMinPlayerSize || width > kMaxPlayerSize || height < kMinPlayerSize || height > kMaxPlayerSize)
    return false;
  mode_width_ = width;
  mode_height_ = height;
  // Called again with a live context: the framebuffer follows the new size.
  if (gl_context_) {
    delete_fbo();
    create_fbo();
  }
  return true;
}

void SdlPlatform::restore_display_mode() {
  // The desktop's mode never changed; only the offscreen picture goes.
  if (gl_context_) delete_fbo();
  mode_width_ = mode_height_ = 0;
}

bool SdlPlatform::create_gl_context() {
  if (!window_) return false;
  if (gl_context_) return true;
  SDL_GLContext context = SDL_GL_CreateContext(window_);
  if (!context) {
    std::fprintf(stderr, "kelvo: no OpenGL context: %s\n", SDL_GetError());
    return false;
  }
  if (SDL_GL_MakeCurrent(window_, context) != 0) {
    std::fprintf(stderr, "kelvo: cannot use the OpenGL context: %s\n", SDL_GetError());
    SDL_GL_DeleteContext(context);
    return false;
  }
  gl_context_ = context;
  SDL_GL_SetSwapInterval(1);  // best effort; the main loop paces frames too
  create_fbo();
  return true;
}

bool SdlPlatform::create_fbo() {
  if (windowed_ || mode_width_ <= 0 || mode_height_ <= 0) return false;
  auto [w, h] = drawable_size();
  if (w == mode_width_ && h == mode_height_) return false;  // the window is the view
  auto fbo = std::make_unique<Fbo>();
  if (!fbo->load()) {
    std::fprintf(stderr, "kelvo: no framebuffer objects; drawing %dx%d straight into the %dx%d screen\n",
                 mode_width_, mode_height_, w, h);
    return false;
  }
  if (!fbo->create(mode_width_, mode_height_)) {
    std::fprintf(stderr, "kelvo: cannot make a %dx%d framebuffer; drawing straight into the screen\n",
                 mode_width_, mode_height_);
    fbo->destroy();
    return false;
  }
  fbo_ = std::move(fbo);
  return true;
}

void SdlPlatform::delete_fbo() {
  if (!fbo_) return;
  fbo_->destroy();
  fbo_.reset();
}

void SdlPlatform::release_gl_context() {
  if (!gl_context_) return;
  delete_fbo();
  SDL_GL_MakeCurrent(window_, nullptr);
  SDL_GL_DeleteContext(static_cast<SDL_GLContext>(gl_context_));
  gl_context_ = nullptr;
}

void SdlPlatform::swap_buffers() {
  if (!window_) return;
  if (fbo_ && gl_context_) {
    auto [w, h] = drawable_size();
    fbo_->present(w, h);
    SDL_GL_SwapWindow(window_);
    fbo_->bind_framebuffer(GL_FRAMEBUFFER, fbo_->framebuffer);
    return;
  }
  SDL_GL_SwapWindow(window_);
}

void SdlPlatform::message_box(const char* text, const char* title) {
  std::fprintf(stderr, "kelvo: %s: %s\n", title, text);
  SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, title, text, nullptr);
}

std::pair<int, int> SdlPlatform::cursor_pos() {
  int gx = 0, gy = 0, wx = 0, wy = 0;
  SDL_GetGlobalMouseState(&gx, &gy);
  if (window_) SDL_GetWindowPosition(window_, &wx, &wy);
  return window_to_view(gx - wx, gy - wy);
}

void SdlPlatform::set_cursor_pos(int x, int y) {
  if (!window_) return;
  if (fbo_ && fbo_->framebuffer != 0) {
    const FitRect r = view_rect();
    const int top = drawable_size().second - r.y - r.height;
    x = r.x + static_cast<int>(static_cast<std::int64_t>(x) * r.width / fbo_->width);
    y = top + static_cast<int>(static_cast<std::int64_t>(y) * r.height / fbo_->height);
  }
  SDL_WarpMouseInWindow(window_, x, y);
}

long SdlPlatform::default_proc(const WindowMessage& message) {
  switch (message.type) {
    case MessageType::key_down:
    case MessageType::mouse_button:
      // A preview ends only with its window (or a signal), never on input.
      if (child_preview_) return 0;
      [[fallthrough]];
    case MessageType::destroy:
      if (!close_requested_) {
        close_requested_ = true;
        SDL_Event quit{};
        quit.type = SDL_QUIT;
        SDL_PushEvent(&quit);
      }
      return 0;
    default:
      return 0;
  }
}

std::string SdlPlatform::work_directory() { return work_dir_.path(); }

std::string SdlPlatform::program_directory() { return executable_directory(); }

std::vector<std::string> SdlPlatform::package_directories() { return kelvo::package_directories(); }

std::string SdlPlatform::debug_log_path() {
  const std::string path = debug_log_file();
  make_private_dirs(path.substr(0, path.rfind('/')));  // the log simply stays closed if this fails
  return path;
}

SettingsStore& SdlPlatform::settings_store() { return overrides_; }

}  // namespace kelvo
