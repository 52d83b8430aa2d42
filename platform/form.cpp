#include "form.h"

#include <algorithm>
#include <cstdlib>
#include <cwctype>

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

namespace {

// The press of a click that closed its window. The next window may appear
// under the pointer within a double-click's time, and the second press of a
// double-click must not press what lies there.
struct ClosingClick {
  bool pending = false;
  PressPlace place{};
} g_closingClick;

bool IsSecondPressOfClosingClick(const PressPlace& press) {
  if (!g_closingClick.pending) return false;
  g_closingClick.pending = false;  // it swallows one press at most
  DoubleClickLimits limits = backend::DoubleClick();
  int dx = press.x - g_closingClick.place.x, dy = press.y - g_closingClick.place.y;
  return press.time - g_closingClick.place.time <= limits.time && 2 * std::abs(dx) <= limits.width &&
         2 * std::abs(dy) <= limits.height;
}

}  // namespace

std::vector<std::unique_ptr<Form>>& Forms() {
  static std::vector<std::unique_ptr<Form>> forms;
  return forms;
}

void ForgetForms() {
  for (auto& form : Forms()) form->OnDestroyed();
  g_closingClick = {};
}

int LoadedFormCount() {
  auto& forms = Forms();
  return static_cast<int>(
      std::count_if(forms.begin(), forms.end(), [](const auto& f) { return f->IsLoaded(); }));
}

Form::Form(const FormDesign& design, FormEvents events)
    : design_(design), events_(std::move(events)) {
  for (const auto& c : design_.controls) controls_.push_back({c.caption, c.color, {}});
  // Reading order: top to bottom, then left to right.
  for (std::size_t i = 0; i < design_.controls.size(); ++i)
    if (design_.controls[i].role != Role::None) accessible_.push_back(static_cast<int>(i));
  std::stable_sort(accessible_.begin(), accessible_.end(), [&](int a, int b) {
    const auto& ca = design_.controls[static_cast<std::size_t>(a)];
    const auto& cb = design_.controls[static_cast<std::size_t>(b)];
    return ca.top != cb.top ? ca.top < cb.top : ca.left < cb.left;
  });
}

Form::~Form() = default;

Form& Form::Load(const FormDesign& design, FormEvents events) {
  Forms().push_back(std::make_unique<Form>(design, std::move(events)));
  Form& form = *Forms().back();
  form.highContrast_ = backend::IsHighContrast();
  form.window_ = backend::CreateFormWindow(form);
  if (backend::KeyboardCuesAlwaysShown()) backend::ShowKeyboardCues(form);
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
  if (IsLoaded() && mouseClicking_) g_closingClick = {true, press_};
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
  PressPlace place = backend::PlaceOfPress(*this, x, y);
  if (IsSecondPressOfClosingClick(place)) return;
  int control = ControlAt(x, y);
  if (left) {
    pressed_ = control;
    press_ = place;
  }
  if (events_.mouseDown) events_.mouseDown(control);
}

void Form::OnButtonUp(int x, int y, bool left) {
  if (!left) return;
  int control = ControlAt(x, y);
  bool click = control != Surface && control == pressed_;
  pressed_ = Surface - 1;
  if (!click) return;
  mouseClicking_ = true;
  struct Done {
    bool& flag;
    ~Done() { flag = false; }
  } done{mouseClicking_};
  Press(control);
}

void Form::OnMinimizeRequest() {
  if (design_.minimizeControl != Surface) Press(design_.minimizeControl);
}

void Form::OnDpiChanged(int dpi) {
  if (dpi == dpi_ || !IsLoaded()) return;
  backend::LayOutForm(*this, dpi);
  backend::InvalidateForm(*this);
}

// A key, a click or an accessibility client's press that arrives while one of
// this form's click handlers runs (a removal shows message boxes, which pump
// messages) is dropped: nothing starts twice, nothing changes under it.
void Form::Press(int control) {
  if (pressing_ || !events_.click) return;
  pressing_ = true;
  struct Done {
    bool& flag;
    ~Done() { flag = false; }
  } done{pressing_};
  events_.click(control);  // may unload this form, which lives on
}

void Form::OnKey(Key key, bool shift) {
  if (pressing_) return;
  switch (key) {
    case Key::Tab:
      MoveFocus(shift);
      break;
    case Key::Enter:
    case Key::Space:
      if (focus_ != Surface) Press(focus_);
      break;
    case Key::Escape:
      if (design_.escapeControl != Surface) Press(design_.escapeControl);
      break;
  }
}

bool Form::OnAccessKey(wchar_t letter) {
  for (std::size_t i = 0; i < design_.controls.size(); ++i) {
    int index = design_.controls[i].accessKey;
    const std::wstring& caption = controls_[i].caption;
    if (index < 0 || static_cast<std::size_t>(index) >= caption.size()) continue;
    if (std::towupper(static_cast<wint_t>(caption[static_cast<std::size_t>(index)])) !=
        std::towupper(static_cast<wint_t>(letter)))
      continue;
    Press(static_cast<int>(i));
    return true;
  }
  return false;
}

void Form::OnCloseRequest() {
  if (design_.closeControl != Surface) {
    Press(design_.closeControl);
  } else if (!pressing_) {
    Unload();
  }
}

void Form::OnDefaultAction(int control) {
  if (IsPushButton(control)) Press(control);
}

void Form::OnKeyboardCues(bool showFocus, bool showAccessKeys) {
  if (showFocus == showFocus_ && showAccessKeys == showAccessKeys_) return;
  showFocus_ = showFocus;
  showAccessKeys_ = showAccessKeys;
  if (IsLoaded()) backend::InvalidateForm(*this);
}

void Form::OnSettingChange() {
  bool was = highContrast_;
  highContrast_ = backend::IsHighContrast();
  if (!IsLoaded()) return;
  backend::InvalidateForm(*this);
  if (highContrast_ != was && events_.highContrastChange) events_.highContrastChange(*this);
}

void Form::MoveFocus(bool back) {
  std::vector<int> stops;
  for (int control : accessible_)
    if (IsTabStop(control)) stops.push_back(control);
  if (stops.empty()) return;
  auto at = std::find(stops.begin(), stops.end(), focus_);
  int next;
  if (at == stops.end()) {
    next = back ? stops.back() : stops.front();
  } else {
    std::size_t n = stops.size();
    std::size_t i = static_cast<std::size_t>(at - stops.begin());
    next = stops[(i + (back ? n - 1 : 1)) % n];
  }
  int old = focus_;
  focus_ = next;
  if (!IsLoaded()) return;
  if (old != Surface) backend::InvalidateControl(*this, ButtonRect(old));
  backend::InvalidateControl(*this, ButtonRect(next));
  backend::NotifyFocus(*this, next);
}

long Form::AccessibleChildId(int control) const {
  auto at = std::find(accessible_.begin(), accessible_.end(), control);
  return at == accessible_.end() ? 0 : static_cast<long>(at - accessible_.begin()) + 1;
}

std::wstring Form::AccessibleName(int control) const {
  const auto& c = design_.controls.at(static_cast<std::size_t>(control));
  return c.accessibleName != nullptr ? c.accessibleName : controls_.at(static_cast<std::size_t>(control)).caption;
}

bool Form::IsPushButton(int control) const {
  return control >= 0 && static_cast<std::size_t>(control) < design_.controls.size() &&
         design_.controls[static_cast<std::size_t>(control)].role == Role::PushButton;
}

bool Form::IsTabStop(int control) const {
  return IsPushButton(control) &&
         design_.controls[static_cast<std::size_t>(control)].kind == ControlKind::Label;
}

int Form::ButtonShape(int label) const {
  const auto& l = design_.controls.at(static_cast<std::size_t>(label));
  if (l.kind != ControlKind::Label) return Surface;
  for (std::size_t i = 0; i < design_.controls.size(); ++i) {
    const auto& c = design_.controls[i];
    if (c.kind == ControlKind::Shape && c.left == l.left && c.top == l.top) return static_cast<int>(i);
  }
  return Surface;
}

PixelRect Form::ButtonRect(int control) const {
  PixelRect r = controls_.at(static_cast<std::size_t>(control)).rect;
  int shape = ButtonShape(control);
  if (shape != Surface) {
    const PixelRect& s = controls_[static_cast<std::size_t>(shape)].rect;
    r = {std::min(r.left, s.left), std::min(r.top, s.top), std::max(r.right, s.right),
         std::max(r.bottom, s.bottom)};
  }
  return r;
}

}  // namespace platform
