// The windows as screen readers see them (Microsoft Active Accessibility):
// each window's client area answers with an IAccessible whose children are
// the controls a person sees, in reading order. Windows bridges it to UI
// Automation by itself.
#include <oleacc.h>

#include <memory>
#include <new>

#include "form_win32.h"

namespace platform::win32 {
namespace {

// Our own copy: with mingw-w64's import libraries the linked symbol can turn
// out to be an import thunk instead of the GUID.
constexpr IID IidAccessible = {0x618736E0, 0x3C3D, 0x11CF, {0x81, 0x0C, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

constexpr int Self = -2;  // the client area itself, as a control

// oleacc.dll, loaded from the system directory by its full path (never by
// bare name, which would also find a planted copy beside the program) with
// COM ready on this thread. Missing, the windows simply stay undescribed.
class Oleacc {
 public:
  Oleacc() : com_(CoInitialize(nullptr)) {
    module_ = win32::LoadSystemLibrary(L"oleacc.dll");
    lresultFromObject = win32::LookUp<decltype(lresultFromObject)>(module_, "LresultFromObject");
    createStdAccessibleObject =
        win32::LookUp<decltype(createStdAccessibleObject)>(module_, "CreateStdAccessibleObject");
  }
  ~Oleacc() {
    if (module_ != nullptr) FreeLibrary(module_);
    if (SUCCEEDED(com_)) CoUninitialize();
  }
  Oleacc(const Oleacc&) = delete;
  Oleacc& operator=(const Oleacc&) = delete;

  LRESULT(WINAPI* lresultFromObject)(REFIID, WPARAM, LPUNKNOWN) = nullptr;
  HRESULT(WINAPI* createStdAccessibleObject)(HWND, LONG, REFIID, void**) = nullptr;

 private:
  HRESULT com_;
  HMODULE module_ = nullptr;
};

Oleacc& Library() {
  static Oleacc library;
  return library;
}

struct Releaser {
  void operator()(IUnknown* object) const { object->Release(); }
};

HRESULT Text(const std::wstring& text, BSTR* out) {
  *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

void SetChild(VARIANT* out, long child) {
  VariantInit(out);
  out->vt = VT_I4;
  out->lVal = child;
}

// Every method answers from the live window: the object may outlive it in a
// client, and then reports the window gone. No exception leaves a method.
class ClientAccessible final : public IAccessible {
 public:
  explicit ClientAccessible(HWND window) : window_(window) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, IidAccessible)) {
      *out = static_cast<IAccessible*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&references_)); }
  ULONG STDMETHODCALLTYPE Release() override {
    LONG left = InterlockedDecrement(&references_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }

  // Clients call the interface directly; there is no type information.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (count == nullptr) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }

  HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override {
    if (parent == nullptr) return E_POINTER;
    *parent = nullptr;
    auto create = Library().createStdAccessibleObject;
    if (create == nullptr) return S_FALSE;
    return create(window_, OBJID_WINDOW, IidAccessible, reinterpret_cast<void**>(parent));
  }
  HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override {
    return Answer(count, [&](Form& form) {
      *count = static_cast<long>(form.AccessibleChildren().size());
      return S_OK;
    });
  }
  HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** out) override {
    return Answer(out, child, [&](Form&, int) {
      *out = nullptr;
      return S_FALSE;  // simple elements, no objects of their own
    });
  }
  HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
    return Answer(name, child, [&](Form& form, int control) {
      return Text(control == Self ? form.design().caption : form.AccessibleName(control), name);
    });
  }
  HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override { return Nothing(child, value); }
  HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* text) override { return Nothing(child, text); }
  HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* text) override { return Nothing(child, text); }
  HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, long* topic) override {
    if (topic != nullptr) *topic = 0;
    return Nothing(child, file);
  }
  HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
    return Answer(role, child, [&](Form& form, int control) {
      long value = ROLE_SYSTEM_CLIENT;
      if (control != Self)
        value = form.IsPushButton(control) ? ROLE_SYSTEM_PUSHBUTTON : ROLE_SYSTEM_STATICTEXT;
      SetChild(role, value);
      return S_OK;
    });
  }
  HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
    return Answer(state, child, [&](Form& form, int control) {
      bool focused = GetFocus() == window_;
      long value = IsWindowVisible(window_) ? 0 : STATE_SYSTEM_INVISIBLE;
      if (control == Self) {
        value |= STATE_SYSTEM_FOCUSABLE;
        if (focused && form.FocusedControl() == Surface) value |= STATE_SYSTEM_FOCUSED;
      } else if (form.IsPushButton(control)) {
        if (form.IsTabStop(control)) value |= STATE_SYSTEM_FOCUSABLE;
        if (focused && form.FocusedControl() == control) value |= STATE_SYSTEM_FOCUSED;
        if (UnderPointer(form) == control) value |= STATE_SYSTEM_HOTTRACKED;
      } else {
        value |= STATE_SYSTEM_READONLY;
      }
      SetChild(state, value);
      return S_OK;
    });
  }
  HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* keys) override {
    return Answer(keys, child, [&](Form& form, int control) {
      *keys = nullptr;
      if (control == Self) return S_FALSE;
      int index = form.design().controls[static_cast<std::size_t>(control)].accessKey;
      std::wstring caption = form.Caption(control);
      if (index < 0 || static_cast<std::size_t>(index) >= caption.size()) return S_FALSE;
      return Text(L"Alt+" + caption.substr(static_cast<std::size_t>(index), 1), keys);
    });
  }
  HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* focus) override {
    return Answer(focus, [&](Form& form) {
      VariantInit(focus);
      if (GetFocus() != window_) return S_FALSE;
      SetChild(focus, form.AccessibleChildId(form.FocusedControl()));
      return S_OK;
    });
  }
  HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* selection) override {
    if (selection == nullptr) return E_POINTER;
    VariantInit(selection);
    return S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override {
    return Answer(action, child, [&](Form& form, int control) {
      *action = nullptr;
      return form.IsPushButton(control) ? Text(L"Press", action) : S_FALSE;
    });
  }
  HRESULT STDMETHODCALLTYPE accSelect(long, VARIANT) override { return DISP_E_MEMBERNOTFOUND; }
  HRESULT STDMETHODCALLTYPE accLocation(long* left, long* top, long* width, long* height,
                                        VARIANT child) override {
    if (left == nullptr || top == nullptr || width == nullptr || height == nullptr) return E_POINTER;
    return Answer(left, child, [&](Form& form, int control) {
      RECT r;
      if (control == Self) {
        GetClientRect(window_, &r);
      } else {
        PixelRect b = form.ButtonRect(control);
        r = {b.left, b.top, b.right, b.bottom};
      }
      MapWindowPoints(window_, nullptr, reinterpret_cast<POINT*>(&r), 2);
      *left = r.left;
      *top = r.top;
      *width = r.right - r.left;
      *height = r.bottom - r.top;
      return S_OK;
    });
  }
  HRESULT STDMETHODCALLTYPE accNavigate(long direction, VARIANT start, VARIANT* end) override {
    return Answer(end, start, [&](Form& form, int control) {
      VariantInit(end);
      long count = static_cast<long>(form.AccessibleChildren().size());
      long from = form.AccessibleChildId(control == Self ? Surface : control);
      long to = 0;
      if (from == CHILDID_SELF && direction == NAVDIR_FIRSTCHILD) to = 1;
      if (from == CHILDID_SELF && direction == NAVDIR_LASTCHILD) to = count;
      if (from != CHILDID_SELF && (direction == NAVDIR_NEXT || direction == NAVDIR_DOWN)) to = from + 1;
      if (from != CHILDID_SELF && (direction == NAVDIR_PREVIOUS || direction == NAVDIR_UP)) to = from - 1;
      if (to < 1 || to > count) return S_FALSE;
      SetChild(end, to);
      return S_OK;
    });
  }
  HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* out) override {
    return Answer(out, [&](Form& form) {
      VariantInit(out);
      POINT point{x, y};
      ScreenToClient(window_, &point);
      RECT client;
      GetClientRect(window_, &client);
      if (!PtInRect(&client, point)) return S_FALSE;
      long id = CHILDID_SELF;
      const auto& children = form.AccessibleChildren();
      for (std::size_t i = 0; i < children.size() && id == CHILDID_SELF; ++i)
        if (form.ButtonRect(children[i]).Contains(point.x, point.y)) id = static_cast<long>(i) + 1;
      SetChild(out, id);
      return S_OK;
    });
  }
  HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
    return Answer(&child, child, [&](Form& form, int control) {
      if (!form.IsPushButton(control)) return DISP_E_MEMBERNOTFOUND;
      // Pressed later on the window's own thread: the client must not wait
      // for a removal, nor run it inside its call.
      return PostMessageW(window_, WmAccessiblePress, static_cast<WPARAM>(control), 0) ? S_OK : E_FAIL;
    });
  }
  HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

 private:
  Form* LiveForm() const {
    DWORD process = 0;
    if (!IsWindow(window_) || GetWindowThreadProcessId(window_, &process) == 0 ||
        process != GetCurrentProcessId())
      return nullptr;
    auto* form = reinterpret_cast<Form*>(GetWindowLongPtrW(window_, GWLP_USERDATA));
    return form != nullptr && form->hWnd() == reinterpret_cast<WindowHandle>(window_) ? form : nullptr;
  }


  int UnderPointer(const Form& form) const {
    POINT point;
    if (!GetCursorPos(&point) || WindowFromPoint(point) != window_) return Surface;
    ScreenToClient(window_, &point);
    return form.ControlAt(point.x, point.y);
  }

  template <class Out, class F>
  HRESULT Answer(Out* out, F&& answer) {
    if (out == nullptr) return E_POINTER;
    try {
      Form* form = LiveForm();
      return form == nullptr ? CO_E_OBJNOTCONNECTED : answer(*form);
    } catch (...) {
      return E_FAIL;
    }
  }
  template <class Out, class F>
  HRESULT Answer(Out* out, const VARIANT& child, F&& answer) {
    return Answer(out, [&](Form& form) -> HRESULT {
      if (child.vt != VT_I4) return E_INVALIDARG;
      if (child.lVal == CHILDID_SELF) return answer(form, Self);
      const auto& children = form.AccessibleChildren();
      if (child.lVal < 1 || child.lVal > static_cast<long>(children.size())) return E_INVALIDARG;
      return answer(form, children[static_cast<std::size_t>(child.lVal - 1)]);
    });
  }
  HRESULT Nothing(const VARIANT& child, BSTR* out) {
    return Answer(out, child, [&](Form&, int) {
      *out = nullptr;
      return S_FALSE;
    });
  }

  HWND window_;
  LONG references_ = 1;
};

}  // namespace

LRESULT AnswerGetObject(HWND window, WPARAM wParam) {
  auto answer = Library().lresultFromObject;
  if (answer == nullptr) return 0;
  std::unique_ptr<ClientAccessible, Releaser> object(new (std::nothrow) ClientAccessible(window));
  if (object == nullptr) return 0;
  LRESULT result = answer(IidAccessible, wParam, object.get());  // keeps its own reference
  return result < 0 ? 0 : result;
}

void NotifyFocus(HWND window, long childId) {
  if (GetFocus() == window) NotifyWinEvent(EVENT_OBJECT_FOCUS, window, OBJID_CLIENT, childId);
}

}  // namespace platform::win32
