#include "frmMain.h"

#include "forms/frmAbout.h"
#include "modules/Functions.h"
#include "modules/Sessions.h"
#include "modules/Shared.h"
#include "modules/api.h"
#include "resources/resource.h"

namespace frmMain {
namespace {

using platform::Alignment;
using platform::ControlKind;
using platform::Role;

platform::Form* Me = nullptr;

constexpr platform::Color White = 0xFFFFFF;
constexpr platform::Color Black = 0x0;

void Form_Load(platform::Form& form) {
  Me = &form;
  platform::RemoveFromTaskList();
  MakeTopMost(Me->hWnd(), true);
  if (IsAnotherInstanceRunning()) {
    platform::BringBackRunningCopy();  // the usual way back to a program off the task list
    platform::End();
  }
  ApplyTranslucency(*Me);
  ReadInstallInfo();
}

void ClearHighlights() {
  Me->SetFillColor(Shape1, White);
  Me->SetForeColor(Label2, Black);
  Me->SetFillColor(Shape2, White);
  Me->SetForeColor(Label3, Black);
}

void Form_MouseMove(int control) {
  switch (control) {
    case platform::Surface:
      ClearHighlights();
      break;
    case Label2:  // "Remove"
      Me->SetFillColor(Shape1, HoverColor);
      Me->SetFillColor(Shape2, White);
      Me->SetForeColor(Label3, Black);
      break;
    case Label3:  // "About"
      Me->SetFillColor(Shape2, HoverColor);
      Me->SetFillColor(Shape1, White);
      Me->SetForeColor(Label2, Black);
      break;
    default:
      break;
  }
}

void Form_MouseDown(int control) {
  if (control == Image3) DragWindow(*Me);
}

void Form_Click(int control) {
  switch (control) {
    case Label2:
      ClearHighlights();
      if (Me->Caption(Label2) == L"Remove") RemovePlugin();
      break;
    case Label3: {
      ClearHighlights();
      Me->Unload();
      Me = nullptr;
      frmAbout::ShowModal();
      break;
    }
    case Image1:
      Me->Minimize();
      break;
    case Image2:
      Me->Unload();
      platform::End();
    default:
      break;
  }
}

}  // namespace

const platform::FormDesign& Design() {
  using platform::SystemButtonText;
  static const platform::FormDesign design{
      L"MSN Scribbit Removal",
      3945,
      1785,
      HoverColor,
      IDB_WINDOW,
      0,
      {
          {L"Label4", ControlKind::Label, 120, 360, 3735, 975,
           L"This application will uninstall the Scribbit Plugin for Messenger Plus! as well as "
           L"the Ink Redistributable and Info Pen for Outlook Express if they are installed.",
           Alignment::Left, true, false, SystemButtonText, 0, false, Role::StaticText},
          {L"Label3", ControlKind::Label, 120, 1440, 955, 195, L"About", Alignment::Center, false,
           false, SystemButtonText, 0, true, Role::PushButton, nullptr, 0},
          {L"Shape2", ControlKind::Shape, 120, 1440, 975, 225, L"", Alignment::Left, false, false,
           platform::SystemWindowBackground},
          {L"Label2", ControlKind::Label, 2880, 1440, 955, 195, L"Remove", Alignment::Center,
           false, false, SystemButtonText, 0, true, Role::PushButton, nullptr, 0},
          {L"Shape1", ControlKind::Shape, 2880, 1440, 975, 225, L"", Alignment::Left, false, false,
           White},
          {L"Image3", ControlKind::Image, 0, 0, 3495, 255},
          {L"Label1", ControlKind::Label, 150, 30, 2265, 195, L"MSN Scribbit Removal",
           Alignment::Left, false, true, SystemButtonText, 0, false, Role::StaticText},
          {L"Image2", ControlKind::Image, 3720, 35, 180, 180, L"", Alignment::Left, false, false,
           0, IDB_CLOSE, true, Role::PushButton, L"Close"},
          {L"Image1", ControlKind::Image, 3500, 35, 180, 180, L"", Alignment::Left, false, false,
           0, IDB_MINIMIZE, true, Role::PushButton, L"Minimise"},
      },
      Image2,   // Esc
      Image2,   // Alt+F4
      Image1};  // a minimise from outside
  return design;
}

void Show() {
  if (Me == nullptr || !Me->IsLoaded()) {
    platform::Form::Load(Design(),
                         {Form_Load, Form_MouseMove, Form_MouseDown, Form_Click, ApplyTranslucency});
  }
  Me->Show();
}

void Hide() {
  if (Instance() != nullptr) Me->Hide();
}

platform::Form* Instance() { return Me != nullptr && Me->IsLoaded() ? Me : nullptr; }

}  // namespace frmMain
