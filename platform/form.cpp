#include "form.h"

#include <algorithm>

#include "form_backend.h"

namespace platform {

int TwipsToPixels(int twips, int dpi) {
  long long scaled = static_cast<long long>(twips) * dpi;
  return static_cast<int>((scaled >= 0 ? scaled + 720 : scaled - 720) / 1440);
}

int HitTest(const std::vector<ControlKind>& kinds, const std::vector<PixelRect>& rects, int x,
            int y) {
  for (std::size_t i = 0; i < rects.size(); ++i) {
    if (kinds[i] != ControlKind::Shape && rects[i].Contains(x, y)) return static_cast<int>(i);
  }
  return Surface;
}

std::vector<std::unique_ptr<Form>>& Forms() {
  static std::vector<std::unique_ptr<Form>> forms;
  return forms;
}

int LoadedFormCount() {
  auto& forms = Forms();
  return static_cast<int>(
      std::count_if(forms.begin(), forms.end(), [](const auto& f) { return f->IsLoaded(); }));
}

Form::Form(const FormDesign& design, FormEvents events)
    : design_(design), events_(std::move(events)) {
  for (const auto& c : design_.controls) controls_.push_back({c.caption, c.color, {}});
}

Form::~Form() = default;

Form& Form::Load(const FormDesign& design, FormEvents events) {
  Forms().push_back(std::make_unique<Form>(design, std::move(events)));
  Form& form = *Forms().back();
  form.window_ = backend::CreateFormWindow(form);
  if (form.events_.load) form.events_.load(form);
  return form;
}

void Form::LayOut(int dpi) {
  dpi_ = dpi;
  for (std::size_t i = 0; i < controls_.size(); ++i) {
    const auto& c = design_.controls[i];
    controls_[i].rect = {TwipsToPixels(c.left, dpi), TwipsToPixels(c.top, dpi),
                         TwipsToPixels(c.left + c.width, dpi),
                         TwipsToPixels(c.top + c.height, dpi)};
  }
}

void Form::SetAutoSize(int control, int widthPixels, int heightPixels) {
  auto& r = controls_.at(control).rect;
  r.right = r.left + widthPixels;
  r.bottom = r.top + heightPixels;
}

int Form::ControlAt(int x, int y) const {
  std::vector<ControlKind> kinds;
  std::vector<PixelRect> rects;
  for (std::size_t i = 0; i < controls_.size(); ++i) {
    kinds.push_back(design_.controls[i].kind);
    rects.push_back(controls_[i].rect);
  }
  return HitTest(kinds, rects, x, y);
}

void Form::Show() {
  if (IsLoaded()) backend::ShowForm(*this);
}
void Form::ShowModal() {
  if (IsLoaded()) backend::ShowFormModal(*this);
}
void Form::Hide() {
  if (IsLoaded()) backend::HideForm(*this);
}
void Form::Unload() {
  if (IsLoaded()) backend::DestroyForm(*this);
  window_ = 0;
}
void Form::Minimize() {
  if (IsLoaded()) backend::MinimizeForm(*this);
}

void Form::SetCaption(int control, const std::wstring& caption) {
  auto& state = controls_.at(control);
  if (state.caption == caption) return;
  state.caption = caption;
  Repaint(control);
}

void Form::SetColor(int control, ControlKind kind, Color color) {
  if (design_.controls.at(control).kind != kind) throw Failure(438, L"Object doesn't support this property or method");
  auto& state = controls_.at(control);
  if (state.color == color) return;  // nothing to repaint
  state.color = color;
  Repaint(control);
}

void Form::Repaint(int control) {
  if (IsLoaded()) backend::InvalidateControl(*this, controls_.at(control).rect);
}

// Handlers may unload this form; nothing here touches it after a handler ran.
void Form::OnMouseMove(int x, int y) {
  int control = ControlAt(x, y);
  if (events_.mouseMove) events_.mouseMove(control);
}

void Form::OnButtonDown(int x, int y, bool left) {
  int control = ControlAt(x, y);
  if (left) pressed_ = control;
  if (events_.mouseDown) events_.mouseDown(control);
}

void Form::OnButtonUp(int x, int y, bool left) {
  if (!left) return;
  int control = ControlAt(x, y);
  bool click = control != Surface && control == pressed_;
  pressed_ = Surface - 1;
  if (click && events_.click) events_.click(control);
}

}  // namespace platform
