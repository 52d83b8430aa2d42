// A small form runtime: frameless top-level windows laid out in twips, with
// windowless controls (labels, filled rectangles, pictures) in stacking order,
// per-control mouse events and a mouse pointer per control. Text buttons can
// also be reached with the keyboard, and every control a person sees is
// described to accessibility clients.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform.h"

namespace platform {

// System colours, written as the form designer writes them: the high bit set
// and the system colour index below it.
inline constexpr Color SystemButtonFace = 0x8000000F;
inline constexpr Color SystemButtonText = 0x80000012;
inline constexpr Color SystemWindowBackground = 0x80000005;

enum class ControlKind { Label, Shape, Image };
enum class Alignment { Left, Center };
// What a control is to an accessibility client; None keeps it out of the
// accessible tree (decoration, the drag strip).
enum class Role { None, StaticText, PushButton };

struct ControlDesign {
  const wchar_t* name;
  ControlKind kind;
  int left, top, width, height;  // twips
  std::wstring caption = {};     // labels
  Alignment alignment = Alignment::Left;
  bool wordWrap = false;
  bool autoSize = false;  // labels: sized to their text on one line
  Color color = 0;        // labels: text colour; shapes: fill colour
  int picture = 0;        // images: bitmap resource; 0 is an empty, invisible area
  bool handPointer = false;
  Role role = Role::None;              // a push button label is also a Tab stop
  const wchar_t* accessibleName = nullptr;  // null: the caption
  int accessKey = -1;  // index in the caption of the Alt+letter access key
};

struct FormDesign {
  std::wstring caption;
  int width, height;  // client area, twips
  Color backColor;
  int picture;  // background bitmap resource, drawn unscaled at the origin
  int icon;     // icon resource; 0 for none
  std::vector<ControlDesign> controls;  // front to back
  int escapeControl = -1;  // pressed by Esc
  int closeControl = -1;   // pressed when the system asks the window to close (Alt+F4)
  // Pressed when something outside asks the window to minimise (Win+M,
  // another program's SC_MINIMIZE); -1: the window cannot be minimised.
  int minimizeControl = -1;
};

// Pixel rectangle, right and bottom exclusive.
struct PixelRect {
  int left, top, right, bottom;
  bool Contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
};

inline constexpr int Surface = -1;  // the bare window surface, as a control index

// Where and when a mouse button went down: screen pixels, and the system's
// millisecond clock of the input.
struct PressPlace {
  std::uint32_t time;
  int x, y;
};
// The system's double-click limits: the time between two presses and the
// rectangle (centred on the first) that the second must fall in.
struct DoubleClickLimits {
  std::uint32_t time;
  int width, height;
};

class Form;

struct FormEvents {
  std::function<void(Form& form)> load;  // before the window is first shown
  std::function<void(int control)> mouseMove;
  std::function<void(int control)> mouseDown;
  std::function<void(int control)> click;
  std::function<void(Form& form)> highContrastChange;  // the setting switched while loaded
};

enum class Key { Tab, Enter, Space, Escape };

// Twips to pixels at `dpi` pixels per inch (1440 twips), rounded.
int TwipsToPixels(int twips, int dpi);
// The control that takes the mouse at pixel (x, y): the frontmost label or
// image whose rectangle holds the point; shapes take no mouse input.
int HitTest(const std::vector<ControlKind>& kinds, const std::vector<PixelRect>& rects, int x,
            int y);

class Form {
 public:
  // Creates the window from its design, hidden, and runs its load event.
  // The form stays owned by the runtime and outlives its window.
  static Form& Load(const FormDesign& design, FormEvents events);

  WindowHandle hWnd() const { return window_; }
  bool IsLoaded() const { return window_ != 0; }
  void Show();       // not modal, centred on the screen
  void ShowModal();  // centred; returns once the window is gone
  void Hide();
  void Unload();  // destroys the window and its controls
  void Minimize();

  std::wstring Caption(int control) const { return controls_.at(control).caption; }
  void SetCaption(int control, const std::wstring& caption);
  Color ForeColor(int control) const { return controls_.at(control).color; }
  void SetForeColor(int control, Color color) { SetColor(control, ControlKind::Label, color); }
  Color FillColor(int control) const { return controls_.at(control).color; }
  void SetFillColor(int control, Color color) { SetColor(control, ControlKind::Shape, color); }

  // For the platform implementations.
  struct ControlState {
    std::wstring caption;
    Color color;
    PixelRect rect;
  };
  const FormDesign& design() const { return design_; }
  const std::vector<ControlState>& controls() const { return controls_; }
  int dpi() const { return dpi_; }
  int ControlAt(int x, int y) const;
  void OnMouseMove(int x, int y);
  void OnButtonDown(int x, int y, bool left);
  void OnButtonUp(int x, int y, bool left);
  // The mouse capture went elsewhere: the press in progress clicks nothing.
  void OnCaptureLost() { pressed_ = Surface - 1; }
  void OnMinimizeRequest();  // from outside, not the glyph
  void OnDpiChanged(int dpi);  // lays the window out again
  void OnKey(Key key, bool shift);
  // Alt+letter; false when no control has that access key.
  bool OnAccessKey(wchar_t letter);
  void OnCloseRequest();  // the system asks the window to close
  void OnDefaultAction(int control);  // an accessibility client presses it
  void OnKeyboardCues(bool showFocus, bool showAccessKeys);
  void OnSettingChange();  // system colours or accessibility settings changed
  void OnDestroyed() { window_ = 0; }

  // The controls of the accessible tree, in reading order (child id - 1).
  const std::vector<int>& AccessibleChildren() const { return accessible_; }
  // The control's child id (its place in that order, from 1); 0, the form
  // itself, for a control outside the tree or Surface.
  long AccessibleChildId(int control) const;
  std::wstring AccessibleName(int control) const;
  bool IsTabStop(int control) const;
  bool IsPushButton(int control) const;
  // A button's rectangle: its label with the shape behind it that shares its
  // top-left corner; any other control's own rectangle.
  PixelRect ButtonRect(int control) const;
  int ButtonShape(int label) const;  // that shape, or Surface
  int FocusedControl() const { return focus_; }  // a text button or Surface
  bool ShowFocusCues() const { return showFocus_; }
  bool ShowAccessKeys() const { return showAccessKeys_; }
  bool HighContrast() const { return highContrast_; }
  void LayOut(int dpi);
  void SetAutoSize(int control, int widthPixels, int heightPixels);

  Form(const FormDesign& design, FormEvents events);
  ~Form();
  Form(const Form&) = delete;
  Form& operator=(const Form&) = delete;

 private:
  void SetColor(int control, ControlKind kind, Color color);
  void Repaint(int control);
  void Press(int control);
  void MoveFocus(bool back);

  FormDesign design_;
  FormEvents events_;
  std::vector<ControlState> controls_;
  WindowHandle window_ = 0;
  int dpi_ = 96;
  int pressed_ = Surface - 1;  // control under the left button press, if any
  std::vector<int> accessible_;
  int focus_ = Surface;
  bool showFocus_ = false, showAccessKeys_ = false;
  bool highContrast_ = false;
  bool pressing_ = false;  // a click handler of this form runs
  bool mouseClicking_ = false;  // ... for a click of the mouse
  PressPlace press_{};  // of the left button press in progress
};

// Pumps messages until no form of the program is left.
void RunMessageLoop();

}  // namespace platform
