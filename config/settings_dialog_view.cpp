#include "config/settings_dialog_view.h"

#include <GL/gl.h>
#include <imgui.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace kelvo {

namespace {

// The classic dialog palette.
constexpr ImU32 kShadow = IM_COL32(128, 128, 128, 255);
constexpr ImU32 kHighlight = IM_COL32(255, 255, 255, 255);
constexpr ImU32 kBlack = IM_COL32(0, 0, 0, 255);
constexpr ImU32 kField = IM_COL32(255, 255, 255, 255);
constexpr ImU32 kSelection = IM_COL32(0, 84, 166, 255);

struct PixelRect {
  ImVec2 min, max;
  float width() const { return max.x - min.x; }
  float height() const { return max.y - min.y; }
};

PixelRect rect_of(const SettingsDialogView& v, const DialogControl& c) {
  // Whole pixels, so that one-pixel lines stay sharp.
  auto px = [](float f) { return std::floor(f + 0.5f); };
  return {ImVec2(px(c.x * v.unit_x), px(c.y * v.unit_y)),
          ImVec2(px((c.x + c.width) * v.unit_x), px((c.y + c.height) * v.unit_y))};
}

int list_size(const SettingsDialog& d, int id) {
  return id == kIdPackageList ? static_cast<int>(d.packages.size()) : static_cast<int>(kResolutionTexts.size());
}

const char* list_text(const SettingsDialog& d, int id, int entry) {
  if (entry < 0 || entry >= list_size(d, id)) return "";
  return id == kIdPackageList ? d.packages[static_cast<std::size_t>(entry)].name.c_str()
                              : kResolutionTexts[static_cast<std::size_t>(entry)];
}

int list_selection(const SettingsDialog& d, int id) {
  return id == kIdPackageList ? d.package_selection : d.resolution_selection;
}

void choose(SettingsDialog& d, int id, int entry) {
  if (entry >= 0 && entry != list_selection(d, id)) settings_dialog_command(d, id, kNotifySelectionChange, entry);
}

void open_list(SettingsDialogView& v, const SettingsDialog& d, int id) {
  v.focus = id;
  v.open_list = id;
  v.open_pending = true;
  v.list_hot = list_selection(d, id);
  v.scroll_to_hot = true;
}

bool is_list(int id) { return id == kIdPackageList || id == kIdResolutionList; }

bool is_check_box(int id) { return std::find(kCheckBoxIds.begin(), kCheckBoxIds.end(), id) != kCheckBoxIds.end(); }

// The dotted rectangle that marks the focused control.
void draw_focus_rect(ImDrawList* dl, ImVec2 a, ImVec2 b) {
  a = ImVec2(std::floor(a.x), std::floor(a.y));
  b = ImVec2(std::floor(b.x), std::floor(b.y));
  for (float x = a.x; x < b.x; x += 2) {
    dl->AddRectFilled(ImVec2(x, a.y), ImVec2(x + 1, a.y + 1), kBlack);
    dl->AddRectFilled(ImVec2(x, b.y - 1), ImVec2(x + 1, b.y), kBlack);
  }
  for (float y = a.y; y < b.y; y += 2) {
    dl->AddRectFilled(ImVec2(a.x, y), ImVec2(a.x + 1, y + 1), kBlack);
    dl->AddRectFilled(ImVec2(b.x - 1, y), ImVec2(b.x, y + 1), kBlack);
  }
}

// A one-pixel 3D edge: `top_left` above and left, `bottom_right` below and right.
void draw_edge(ImDrawList* dl, ImVec2 a, ImVec2 b, ImU32 top_left, ImU32 bottom_right) {
  dl->AddRectFilled(a, ImVec2(b.x, a.y + 1), top_left);
  dl->AddRectFilled(a, ImVec2(a.x + 1, b.y), top_left);
  dl->AddRectFilled(ImVec2(a.x, b.y - 1), b, bottom_right);
  dl->AddRectFilled(ImVec2(b.x - 1, a.y), b, bottom_right);
}

void draw_group_box(ImDrawList* dl, const PixelRect& r, const char* text) {
  // An etched frame whose top line runs through the middle of the label.
  const float top = std::floor(r.min.y + ImGui::GetFontSize() * 0.5f);
  dl->AddRect(ImVec2(r.min.x + 1, top + 1), r.max, kHighlight);
  dl->AddRect(ImVec2(r.min.x, top), ImVec2(r.max.x - 1, r.max.y - 1), kShadow);
  const ImVec2 at(r.min.x + ImGui::GetFontSize() * 0.5f, r.min.y);
  const ImVec2 size = ImGui::CalcTextSize(text);
  dl->AddRectFilled(ImVec2(at.x - 2, at.y), ImVec2(at.x + size.x + 2, at.y + size.y),
                    ImGui::GetColorU32(ImGuiCol_WindowBg));
  dl->AddText(at, ImGui::GetColorU32(ImGuiCol_Text), text);
}

void upload_thumbnail(SettingsDialogView& v, const SettingsDialog& d) {
  if (v.texture_serial == d.thumbnail_serial) return;
  v.texture_serial = d.thumbnail_serial;
  if (!d.thumbnail) {
    release_dialog_view(v);
    return;
  }
  const RgbaImage image = bitmap_to_rgba(*d.thumbnail);
  if (v.texture == 0) {
    GLuint name = 0;
    glGenTextures(1, &name);
    v.texture = name;
  }
  glBindTexture(GL_TEXTURE_2D, v.texture);
  // Stretched pixel for pixel, as the platform's bitmap stretching draws.
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, image.width, image.height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
               image.pixels.data());
}

void draw_thumbnail_area(SettingsDialogView& v, const SettingsDialog& d, ImDrawList* dl, const PixelRect& r) {
  upload_thumbnail(v, d);
  dl->AddRectFilled(r.min, r.max, kBlack);
  draw_edge(dl, r.min, r.max, kShadow, kHighlight);
  if (v.texture != 0)
    dl->AddImage(reinterpret_cast<ImTextureID>(static_cast<std::uintptr_t>(v.texture)),
                 ImVec2(r.min.x + 1, r.min.y + 1), ImVec2(r.max.x - 1, r.max.y - 1));
}

// A drop-down list: a field showing the selected entry with an arrow button;
// the rest of the control's height is the list that drops down.
void draw_drop_down(SettingsDialogView& v, SettingsDialog& d, ImDrawList* dl, const DialogControl& c,
                    const PixelRect& r) {
  const float field_height = ImGui::GetFrameHeight();
  const ImVec2 a = r.min, b(r.max.x, r.min.y + field_height);
  ImGui::SetCursorScreenPos(a);
  // Pressing opens or closes it; the release that follows does nothing.
  ImGui::InvisibleButton("field", ImVec2(b.x - a.x, b.y - a.y));
  if (ImGui::IsItemActivated()) {
    if (v.open_list == c.id) {
      v.open_list = 0;  // the click outside the drop-down closes it
      v.focus = c.id;
    } else {
      open_list(v, d, c.id);
    }
  }

  const bool focused = v.focus == c.id && v.open_list != c.id;
  dl->AddRectFilled(a, b, kField);
  draw_edge(dl, a, b, kShadow, kHighlight);
  const float button = std::floor(field_height * 0.85f);
  const ImVec2 ba(b.x - 1 - button, a.y + 1), bb(b.x - 1, b.y - 1);
  dl->AddRectFilled(ba, bb, ImGui::GetColorU32(ImGuiCol_Button));
  draw_edge(dl, ba, bb, kHighlight, kShadow);
  const ImVec2 mid((ba.x + bb.x) * 0.5f, (ba.y + bb.y) * 0.5f);
  const float s = button * 0.2f;
  dl->AddTriangleFilled(ImVec2(mid.x - s, mid.y - s * 0.5f), ImVec2(mid.x + s, mid.y - s * 0.5f),
                        ImVec2(mid.x, mid.y + s * 0.5f + 1), kBlack);

  const char* text = list_text(d, c.id, list_selection(d, c.id));
  const ImVec2 pad = ImGui::GetStyle().FramePadding;
  const ImVec2 text_a(a.x + 2, a.y + 2), text_b(ba.x - 1, b.y - 2);
  if (focused) dl->AddRectFilled(text_a, text_b, kSelection);
  dl->PushClipRect(text_a, text_b, true);
  dl->AddText(ImVec2(a.x + pad.x, a.y + pad.y), focused ? kHighlight : ImGui::GetColorU32(ImGuiCol_Text), text);
  dl->PopClipRect();

  // The drop-down: below the field, or above it when the window ends first.
  const int n = list_size(d, c.id);
  const float line = ImGui::GetTextLineHeightWithSpacing();
  const float room = std::max(r.height() - field_height, line);
  const float height = std::min(room, n * line + 2 * ImGui::GetStyle().WindowPadding.y);
  float top = b.y;
  if (top + height > ImGui::GetIO().DisplaySize.y) top = a.y - height;
  ImGui::SetNextWindowPos(ImVec2(a.x, top));
  ImGui::SetNextWindowSize(ImVec2(b.x - a.x, height));
  if (v.open_list == c.id && v.open_pending) {
    ImGui::OpenPopup("drop-down");
    v.open_pending = false;
  }
  if (ImGui::BeginPopup("drop-down", ImGuiWindowFlags_NoMove | ImGuiWindowFlags_NoResize)) {
    for (int i = 0; i < n; ++i) {
      if (ImGui::Selectable(list_text(d, c.id, i), i == v.list_hot)) {
        choose(d, c.id, i);
        v.open_list = 0;
      }
      const ImVec2 moved = ImGui::GetIO().MouseDelta;
      if (ImGui::IsItemHovered() && (moved.x != 0 || moved.y != 0)) v.list_hot = i;
      if (i == v.list_hot && v.scroll_to_hot) {
        ImGui::SetScrollHereY();
        v.scroll_to_hot = false;
      }
    }
    if (v.open_list != c.id) ImGui::CloseCurrentPopup();
    ImGui::EndPopup();
  } else if (v.open_list == c.id) {
    v.open_list = 0;  // closed by a click elsewhere
  }
}

void draw_check_box(SettingsDialogView& v, SettingsDialog& d, ImDrawList* dl, const DialogControl& c,
                    const PixelRect& r) {
  ImGui::SetCursorScreenPos(ImVec2(r.min.x, std::floor(r.min.y + (r.height() - ImGui::GetFrameHeight()) * 0.5f)));
  bool on = dialog_checked(d, c.id);
  if (ImGui::Checkbox(c.text, &on)) settings_dialog_command(d, c.id, kNotifyClicked, on ? 1 : 0);
  if (ImGui::IsItemActivated()) v.focus = c.id;
  if (v.focus == c.id) {
    // Around the label, as a dialog marks a focused check box.
    const ImVec2 a = ImGui::GetItemRectMin(), b = ImGui::GetItemRectMax();
    const float label_x = a.x + ImGui::GetFrameHeight() + ImGui::GetStyle().ItemInnerSpacing.x;
    draw_focus_rect(dl, ImVec2(label_x - 2, a.y + 1), ImVec2(b.x + 2, b.y - 1));
  }
}

void draw_button(SettingsDialogView& v, SettingsDialog& d, ImDrawList* dl, const DialogControl& c,
                 const PixelRect& r) {
  ImGui::SetCursorScreenPos(r.min);
  if (ImGui::Button(c.text, ImVec2(r.width(), r.height()))) settings_dialog_command(d, c.id, kNotifyClicked, 0);
  if (ImGui::IsItemActivated()) v.focus = c.id;
  // The button Enter presses has a dark outline: OK, or Cancel while it has
  // the focus.
  const int enter_button = v.focus == kIdCancel ? kIdCancel : kIdOk;
  if (c.id == enter_button) dl->AddRect(r.min, r.max, kBlack);
  if (v.focus == c.id) draw_focus_rect(dl, ImVec2(r.min.x + 4, r.min.y + 4), ImVec2(r.max.x - 4, r.max.y - 4));
}

}  // namespace

void set_dialog_units(SettingsDialogView& v, float average_letter_width, float font_height) {
  v.unit_x = average_letter_width / 4.0f;
  v.unit_y = font_height / 8.0f;
}

int dialog_pixel_width(const SettingsDialogView& v) {
  return static_cast<int>(std::lround(kSettingsDialogWidth * v.unit_x));
}

int dialog_pixel_height(const SettingsDialogView& v) {
  return static_cast<int>(std::lround(kSettingsDialogHeight * v.unit_y));
}

void dialog_view_key(SettingsDialogView& v, SettingsDialog& d, DialogKey key) {
  if (v.open_list != 0) {
    const int n = list_size(d, v.open_list);
    switch (key) {
      case DialogKey::up: v.list_hot = std::max(0, v.list_hot - 1); break;
      case DialogKey::down: v.list_hot = std::min(n - 1, v.list_hot + 1); break;
      case DialogKey::home: v.list_hot = 0; break;
      case DialogKey::end: v.list_hot = n - 1; break;
      case DialogKey::enter:
      case DialogKey::space:
        choose(d, v.open_list, v.list_hot);
        v.open_list = 0;
        break;
      case DialogKey::escape:
      case DialogKey::open_list: v.open_list = 0; break;
      case DialogKey::tab:
      case DialogKey::back_tab:
        v.open_list = 0;
        v.focus = next_tab_stop(v.focus, key == DialogKey::tab);
        break;
    }
    if (n == 0) v.list_hot = -1;
    v.scroll_to_hot = true;
    return;
  }

  switch (key) {
    case DialogKey::tab:
    case DialogKey::back_tab: v.focus = next_tab_stop(v.focus, key == DialogKey::tab); break;
    case DialogKey::space:
      if (is_check_box(v.focus))
        settings_dialog_command(d, v.focus, kNotifyClicked, dialog_checked(d, v.focus) ? 0 : 1);
      else if (is_list(v.focus))
        open_list(v, d, v.focus);
      else
        settings_dialog_command(d, v.focus, kNotifyClicked, 0);
      break;
    case DialogKey::open_list:
      if (is_list(v.focus)) open_list(v, d, v.focus);
      break;
    case DialogKey::up:
    case DialogKey::down:
    case DialogKey::home:
    case DialogKey::end: {
      // A closed list steps through its entries.
      if (!is_list(v.focus)) break;
      const int n = list_size(d, v.focus), at = list_selection(d, v.focus);
      if (n == 0) break;
      int to = at;
      if (key == DialogKey::up) to = at < 0 ? 0 : std::max(0, at - 1);
      if (key == DialogKey::down) to = std::min(n - 1, at + 1);
      if (key == DialogKey::home) to = 0;
      if (key == DialogKey::end) to = n - 1;
      choose(d, v.focus, to);
      break;
    }
    case DialogKey::enter:
      settings_dialog_command(d, v.focus == kIdCancel ? kIdCancel : kIdOk, kNotifyClicked, 0);
      break;
    case DialogKey::escape: settings_dialog_command(d, kIdDialogCancel, kNotifyClicked, 0); break;
  }
}

void draw_settings_dialog(SettingsDialogView& v, SettingsDialog& d) {
  const ImGuiIO& io = ImGui::GetIO();
  ImGui::SetNextWindowPos(ImVec2(0, 0));
  ImGui::SetNextWindowSize(io.DisplaySize);
  ImGui::PushStyleVar(ImGuiStyleVar_WindowPadding, ImVec2(0, 0));
  ImGui::PushStyleVar(ImGuiStyleVar_WindowBorderSize, 0.0f);
  ImGui::Begin("dialog", nullptr,
               ImGuiWindowFlags_NoDecoration | ImGuiWindowFlags_NoMove | ImGuiWindowFlags_NoSavedSettings |
                   ImGuiWindowFlags_NoBringToFrontOnFocus);
  ImDrawList* dl = ImGui::GetWindowDrawList();
  for (const DialogControl& c : kSettingsDialogControls) {
    const PixelRect r = rect_of(v, c);
    ImGui::PushID(c.id == kIdStatic ? static_cast<int>(&c - kSettingsDialogControls.data()) : c.id);
    switch (c.kind) {
      case ControlKind::group_box: draw_group_box(dl, r, c.text); break;
      case ControlKind::thumbnail_area: draw_thumbnail_area(v, d, dl, r); break;
      case ControlKind::drop_down_list: draw_drop_down(v, d, dl, c, r); break;
      case ControlKind::information_text: {
        if (v.small_font) ImGui::PushFont(v.small_font);
        ImGui::SetCursorScreenPos(r.min);
        ImGui::PushTextWrapPos(r.max.x);
        if (d.save_failed) ImGui::PushStyleColor(ImGuiCol_Text, IM_COL32(170, 0, 0, 255));
        const std::string_view text = dialog_information(d);
        ImGui::TextUnformatted(text.data(), text.data() + text.size());
        if (d.save_failed) ImGui::PopStyleColor();
        ImGui::PopTextWrapPos();
        if (v.small_font) ImGui::PopFont();
        break;
      }
      case ControlKind::label: dl->AddText(r.min, ImGui::GetColorU32(ImGuiCol_Text), c.text); break;
      case ControlKind::check_box: draw_check_box(v, d, dl, c, r); break;
      case ControlKind::push_button:
      case ControlKind::default_push_button: draw_button(v, d, dl, c, r); break;
    }
    ImGui::PopID();
  }
  ImGui::End();
  ImGui::PopStyleVar(2);
}

void release_dialog_view(SettingsDialogView& v) {
  if (v.texture != 0) {
    GLuint name = v.texture;
    glDeleteTextures(1, &name);
    v.texture = 0;
  }
}

}  // namespace kelvo
