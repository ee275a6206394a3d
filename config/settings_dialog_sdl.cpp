// The configuration dialog on Linux: a fixed-size SDL2 window with an OpenGL
// context, drawn with Dear ImGui (its SDL2 and OpenGL2 backends) over the
// platform-free dialog. Reads and writes the player's settings file; lists
// the packages of the player's package folders.
#include "config/settings_dialog.h"

#include <SDL2/SDL.h>
#include <imgui.h>
#include <backends/imgui_impl_opengl2.h>
#include <backends/imgui_impl_sdl.h>
#include <GL/gl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "config/settings_dialog_model.h"
#include "config/settings_dialog_view.h"
#include "host/base/files.h"
#include "host/sdl_video.h"
#include "host/settings_file.h"
#include "host/user_dirs_posix.h"
#include "package/package_search.h"
#include "scene/engine_state.h"

#ifndef KELVO_SHARE_DIR
#define KELVO_SHARE_DIR "/usr/local/share/kelvo"
#endif

namespace kelvo {

namespace {

constexpr const char* kFontFile = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
constexpr float kFontPixels = 15.0f;
constexpr float kSmallFontPixels = 12.0f;

std::string package_places() {
  return "Packages are found beside the program, in ~/.local/share/kelvo and in " KELVO_SHARE_DIR ".";
}

bool key_of(const SDL_KeyboardEvent& key, DialogKey& out) {
  const bool alt = (key.keysym.mod & KMOD_ALT) != 0;
  switch (key.keysym.sym) {
    case SDLK_TAB: out = (key.keysym.mod & KMOD_SHIFT) ? DialogKey::back_tab : DialogKey::tab; return true;
    case SDLK_SPACE: out = DialogKey::space; return true;
    case SDLK_RETURN:
    case SDLK_KP_ENTER: out = DialogKey::enter; return true;
    case SDLK_ESCAPE: out = DialogKey::escape; return true;
    case SDLK_UP: out = alt ? DialogKey::open_list : DialogKey::up; return true;
    case SDLK_DOWN: out = alt ? DialogKey::open_list : DialogKey::down; return true;
    case SDLK_HOME: out = DialogKey::home; return true;
    case SDLK_END: out = DialogKey::end; return true;
    case SDLK_F4: out = DialogKey::open_list; return true;
    default: return false;
  }
}

// A light, flat dialog face.
void set_dialog_style() {
  ImGui::StyleColorsLight();
  ImGuiStyle& style = ImGui::GetStyle();
  style.WindowRounding = 0;
  style.PopupRounding = 0;
  style.FrameRounding = 0;
  style.FrameBorderSize = 1;
  style.PopupBorderSize = 1;
  style.FramePadding = ImVec2(4, 2);
  style.ItemInnerSpacing = ImVec2(5, 4);
  style.WindowPadding = ImVec2(2, 2);
  ImVec4* c = style.Colors;
  c[ImGuiCol_WindowBg] = ImVec4(0.90f, 0.89f, 0.87f, 1);
  c[ImGuiCol_PopupBg] = ImVec4(1, 1, 1, 1);
  c[ImGuiCol_Text] = ImVec4(0, 0, 0, 1);
  c[ImGuiCol_Border] = ImVec4(0.45f, 0.45f, 0.45f, 1);
  c[ImGuiCol_FrameBg] = ImVec4(1, 1, 1, 1);
  c[ImGuiCol_FrameBgHovered] = ImVec4(0.93f, 0.96f, 1, 1);
  c[ImGuiCol_FrameBgActive] = ImVec4(0.85f, 0.90f, 1, 1);
  c[ImGuiCol_CheckMark] = ImVec4(0, 0, 0, 1);
  c[ImGuiCol_Button] = ImVec4(0.85f, 0.84f, 0.82f, 1);
  c[ImGuiCol_ButtonHovered] = ImVec4(0.80f, 0.86f, 0.95f, 1);
  c[ImGuiCol_ButtonActive] = ImVec4(0.70f, 0.78f, 0.90f, 1);
  c[ImGuiCol_Header] = ImVec4(0.0f, 0.33f, 0.65f, 1);
  c[ImGuiCol_HeaderHovered] = ImVec4(0.80f, 0.86f, 0.95f, 1);
  c[ImGuiCol_HeaderActive] = ImVec4(0.70f, 0.78f, 0.90f, 1);
}

// Loads the dialog's fonts and sets the dialog units from the main one.
void load_fonts(SettingsDialogView& view) {
  ImGuiIO& io = ImGui::GetIO();
  ImFont* font = nullptr;
  if (file_exists(kFontFile)) {
    font = io.Fonts->AddFontFromFileTTF(kFontFile, kFontPixels);
    view.small_font = io.Fonts->AddFontFromFileTTF(kFontFile, kSmallFontPixels);
  }
  if (!font) font = io.Fonts->AddFontDefault();  // readable, if small
  io.Fonts->Build();
  const char* letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  const float width = font->CalcTextSizeA(font->FontSize, 1e9f, 0, letters).x / 52.0f;
  set_dialog_units(view, width, font->FontSize);
}

// The SDL window, its GL context and ImGui, torn down in reverse order.
struct DialogWindow {
  SDL_Window* window = nullptr;
  SDL_GLContext gl = nullptr;
  bool imgui = false, imgui_sdl = false, imgui_gl = false;

  ~DialogWindow() {
    if (imgui_gl) ImGui_ImplOpenGL2_Shutdown();
    if (imgui_sdl) ImGui_ImplSDL2_Shutdown();
    if (imgui) ImGui::DestroyContext();
    if (gl) SDL_GL_DeleteContext(gl);
    if (window) SDL_DestroyWindow(window);
  }
};

int show_dialog(Engine& e, SettingsDialog& d) {
  DialogWindow w;
  IMGUI_CHECKVERSION();
  ImGui::CreateContext();
  w.imgui = true;
  ImGuiIO& io = ImGui::GetIO();
  io.IniFilename = nullptr;  // no files written beside the user's
  io.LogFilename = nullptr;
  set_dialog_style();
  SettingsDialogView view;
  load_fonts(view);

  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
  w.window = SDL_CreateWindow(kSettingsDialogCaption, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                              dialog_pixel_width(view), dialog_pixel_height(view), SDL_WINDOW_OPENGL);
  if (!w.window || !(w.gl = SDL_GL_CreateContext(w.window))) {
    std::fprintf(stderr, "kelvo: cannot open the settings window (%s)\n", SDL_GetError());
    return 1;
  }
  SDL_GL_MakeCurrent(w.window, w.gl);
  SDL_GL_SetSwapInterval(1);
  w.imgui_sdl = ImGui_ImplSDL2_InitForOpenGL(w.window, w.gl);
  w.imgui_gl = w.imgui_sdl && ImGui_ImplOpenGL2_Init();
  if (!w.imgui_gl) {
    std::fputs("kelvo: cannot set up drawing in the settings window\n", stderr);
    return 1;
  }

  // Frames are drawn after input only: a few, so that what ImGui shows a
  // frame late (an opened drop-down, hover marks) appears too.
  int frames_due = 2;
  bool first_frame = true;
  while (d.end == DialogEnd::open) {
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
      ImGui_ImplSDL2_ProcessEvent(&event);
      frames_due = 3;
      DialogKey key;
      if (event.type == SDL_QUIT ||
          (event.type == SDL_WINDOWEVENT && event.window.event == SDL_WINDOWEVENT_CLOSE)) {
        settings_dialog_command(d, kIdDialogCancel, kNotifyClicked, 0);
      } else if (event.type == SDL_KEYDOWN && key_of(event.key, key)) {
        dialog_view_key(view, d, key);
      }
    }
    if (d.end != DialogEnd::open) break;
    if (frames_due == 0) {
      SDL_WaitEventTimeout(nullptr, 1000);
      continue;
    }
    --frames_due;
    ImGui_ImplOpenGL2_NewFrame();
    ImGui_ImplSDL2_NewFrame();
    ImGui::NewFrame();
    draw_settings_dialog(view, d);
    ImGui::Render();
    glViewport(0, 0, static_cast<int>(io.DisplaySize.x), static_cast<int>(io.DisplaySize.y));
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    ImGui_ImplOpenGL2_RenderDrawData(ImGui::GetDrawData());
    SDL_GL_SwapWindow(w.window);
    if (first_frame) {
      debug_log(e.log, "settings dialog: first frame drawn");
      first_frame = false;
    }
  }
  release_dialog_view(view);
  debug_log(e.log, "settings dialog: %s", d.end == DialogEnd::ok ? "OK, settings written" : "cancelled");
  return 0;
}

}  // namespace

int run_settings_dialog(const SettingsDialogRequest&) {
  // The dialog is a window of its own: a parent window (the configuration
  // mode's "-c:ID") is not needed to place it.
  auto engine = std::make_unique<Engine>();
  Engine& e = *engine;
  open_log_from_environment(e.log, [] { return debug_log_file(); }, "kelvo");

  std::string reason;
  if (!start_sdl_video(reason)) {
    std::fprintf(stderr, "kelvo: no display available for the settings (%s)\n", reason.c_str());
    return 1;
  }

  SettingsFile store(SettingsFile::default_path());
  SettingsDialog d;
  open_settings_dialog(d, e, store, search_packages(package_directories()), package_places());
  const int status = show_dialog(e, d);
  SDL_Quit();
  e.log.close();
  return status;
}

}  // namespace kelvo
