// The real Windows at the program's core: system libraries, failures and
// their text, automation objects, text conversion and the version. Each
// operation is a thin wrapper over the system call of the same name.
#include "win32.h"

#include <ole2.h>

#include <cstring>

#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(OSVERSIONINFOA) == 148, "OSVERSIONINFOA on 32-bit Windows");
#endif
static_assert(sizeof(platform::VersionRecord) == sizeof(OSVERSIONINFOA));

namespace platform {

bool win32::g_failing = false;
HANDLE win32::g_failureBoxShown = nullptr;

void win32::ExitNow(unsigned exitCode) {
  if (g_failing) ::TerminateProcess(GetCurrentProcess(), exitCode);
  ExitProcess(exitCode);
}

HMODULE win32::LoadSystemLibrary(const wchar_t* name) {
  wchar_t path[MAX_PATH];
  UINT length = GetSystemDirectoryW(path, MAX_PATH);
  if (length == 0 || length + 1 + lstrlenW(name) >= MAX_PATH) return nullptr;
  path[length] = L'\\';
  lstrcpyW(path + length + 1, name);
  return LoadLibraryW(path);
}

void RaiseLastError() {
  DWORD code = GetLastError();
  throw Failure(code, DescribeError(code));
}

namespace {

class Bstr {
 public:
  explicit Bstr(const std::wstring& text)
      : bstr_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
  ~Bstr() { SysFreeString(bstr_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  BSTR get() const { return bstr_; }

 private:
  BSTR bstr_;
};

class ComApartment {
 public:
  ComApartment() : result_(CoInitialize(nullptr)) {}
  ~ComApartment() {
    if (SUCCEEDED(result_)) CoUninitialize();
  }

 private:
  HRESULT result_;
};

Variant FromVariant(const VARIANT& value) {
  Variant out;
  VARTYPE type = V_VT(&value);
  if (type & VT_ARRAY) {
    out.type = Variant::Type::Array;
    return out;
  }
  switch (type) {
    case VT_EMPTY: out.type = Variant::Type::Empty; break;
    case VT_BSTR:
      out.type = Variant::Type::Text;
      if (V_BSTR(&value) != nullptr) out.text.assign(V_BSTR(&value), SysStringLen(V_BSTR(&value)));
      break;
    case VT_I1: out.type = Variant::Type::Integer; out.integer = V_I1(&value); break;
    case VT_I2: out.type = Variant::Type::Integer; out.integer = V_I2(&value); break;
    case VT_I4: out.type = Variant::Type::Integer; out.integer = V_I4(&value); break;
    case VT_INT: out.type = Variant::Type::Integer; out.integer = V_INT(&value); break;
    case VT_I8: out.type = Variant::Type::Integer; out.integer = V_I8(&value); break;
    case VT_UI1: out.type = Variant::Type::Integer; out.integer = V_UI1(&value); break;
    case VT_UI2: out.type = Variant::Type::Integer; out.integer = V_UI2(&value); break;
    case VT_UI4: out.type = Variant::Type::Integer; out.integer = V_UI4(&value); break;
    case VT_UINT: out.type = Variant::Type::Integer; out.integer = V_UINT(&value); break;
    case VT_UI8:
      out.type = Variant::Type::Integer;
      out.integer = static_cast<long long>(V_UI8(&value));
      break;
    case VT_R4: out.type = Variant::Type::Real; out.real = V_R4(&value); break;
    case VT_R8: out.type = Variant::Type::Real; out.real = V_R8(&value); break;
    case VT_BOOL: out.type = Variant::Type::Boolean; out.integer = V_BOOL(&value) ? -1 : 0; break;
    default: out.type = Variant::Type::Other; break;
  }
  return out;
}

}  // namespace

Failure::Failure(unsigned long code, std::wstring description)
    : code_(code), description_(std::move(description)), narrow_(WideToNarrow(description_)) {}

std::wstring DescribeError(unsigned long code) {
  wchar_t* buffer = nullptr;
  DWORD length = FormatMessageW(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring text = length != 0 ? std::wstring(buffer, length) : std::wstring();
  if (buffer != nullptr) LocalFree(buffer);
  while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' '))
    text.pop_back();
  if (text.empty()) {
    wchar_t number[16];
    _ultow(code, number, 10);
    text = L"Error " + std::wstring(number) + L".";
  }
  return text;
}

std::wstring NarrowToWide(const char* text, std::size_t length) {
  if (length == 0) return {};
  int size = MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(length), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(length), out.data(), size);
  return out;
}

std::string WideToNarrow(const std::wstring& text) {
  if (text.empty()) return {};
  int size = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                 nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                      nullptr, nullptr);
  return out;
}

std::wstring LowerCase(const std::wstring& text) {
  std::wstring out = text;
  if (!out.empty()) CharLowerBuffW(out.data(), static_cast<DWORD>(out.size()));
  return out;
}

// ---------------------------------------------------------------- registry
AutomationObject::AutomationObject(const std::wstring& progId) {
  static ComApartment apartment;  // the user-interface thread's, for the process
  CLSID clsid;
  HRESULT hr = CLSIDFromProgID(progId.c_str(), &clsid);
  IDispatch* object = nullptr;
  if (SUCCEEDED(hr))
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                          reinterpret_cast<void**>(&object));
  if (FAILED(hr)) throw Failure(static_cast<unsigned long>(hr), DescribeError(static_cast<unsigned long>(hr)));
  object_ = object;
}

AutomationObject::~AutomationObject() {
  if (object_ != nullptr) static_cast<IDispatch*>(object_)->Release();
}

Variant AutomationObject::Call(const std::wstring& method, const std::wstring& argument) {
  auto* object = static_cast<IDispatch*>(object_);
  std::wstring name = method;
  LPOLESTR names[] = {name.data()};
  DISPID id = 0;
  HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(hr)) throw Failure(static_cast<unsigned long>(hr), DescribeError(static_cast<unsigned long>(hr)));

  Bstr text(argument);
  VARIANT arg;
  VariantInit(&arg);
  V_VT(&arg) = VT_BSTR;
  V_BSTR(&arg) = text.get();
  DISPPARAMS params{&arg, nullptr, 1, 0};
  VARIANT result;
  VariantInit(&result);
  EXCEPINFO error{};
  hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result, &error,
                      nullptr);
  std::wstring description = error.bstrDescription != nullptr ? error.bstrDescription : L"";
  SysFreeString(error.bstrDescription);
  SysFreeString(error.bstrSource);
  SysFreeString(error.bstrHelpFile);
  if (FAILED(hr)) {
    VariantClear(&result);
    unsigned long code = hr == DISP_E_EXCEPTION && error.scode != 0 ? static_cast<unsigned long>(error.scode)
                                                                    : static_cast<unsigned long>(hr);
    throw Failure(code, description.empty() ? DescribeError(code) : description);
  }
  Variant out = FromVariant(result);
  VariantClear(&result);
  return out;
}

// ---------------------------------------------------------------- version
int GetVersionExA(VersionRecord& record) {
  OSVERSIONINFOA info;
  std::memcpy(&info, &record, sizeof info);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  BOOL result = ::GetVersionExA(&info);
#pragma GCC diagnostic pop
  std::memcpy(&record, &info, sizeof info);
  return result;
}

void MsgBox(const std::wstring& text, int style, const std::wstring& title) {
  MessageBoxW(nullptr, text.c_str(), title.c_str(), static_cast<UINT>(style) | MB_SETFOREGROUND);
}

void End(unsigned exitCode) { win32::ExitNow(exitCode); }

void ReportUnhandledFailure(const std::wstring& description, unsigned exitCode) {
  if (win32::g_failureBoxShown != nullptr) SetEvent(win32::g_failureBoxShown);
  MessageBoxW(nullptr, description.c_str(), L"MSN Scribbit Removal",
              MB_OK | MB_ICONERROR | MB_SETFOREGROUND | MB_TOPMOST);
  win32::ExitNow(exitCode);
}

}  // namespace platform
