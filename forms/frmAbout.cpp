#include "frmAbout.h"

#include "forms/frmMain.h"
#include "modules/Shared.h"
#include "modules/api.h"
#include "resources/resource.h"

namespace frmAbout {
namespace {

using platform::Alignment;
using platform::ControlKind;
using platform::Role;

platform::Form* Me = nullptr;

void Form_Load(platform::Form& form) {
  Me = &form;
  ApplyTranslucency(*Me);
  MakeTopMost(Me->hWnd(), true);
}

void Form_MouseMove(int control) {
  if (control == platform::Surface) Me->SetFillColor(Shape1, 0xFFFFFF);
  if (control == Label2) Me->SetFillColor(Shape1, HoverColor);
  if (control == Image3) DragWindow(*Me);
}

void Form_Click(int control) {
  if (control == Label2) {  // "Close": back to a new main window
    Me->Unload();
    Me = nullptr;
    frmMain::Show();
  } else if (control == Image2) {
    Me->Unload();
    Me = nullptr;
  }
}

}  // namespace

const platform::FormDesign& Design() {
  using platform::SystemButtonText;
  static const platform::FormDesign design{
      L"About",
      3945,
      1785,
      platform::SystemButtonFace,
      IDB_WINDOW,
      IDI_PROGRAM,
      {
          {L"Label3", ControlKind::Label, 120, 1530, 1350, 195, L"Coded by Tovik",
           Alignment::Left, false, true, SystemButtonText, 0, false, Role::StaticText},
          {L"Image3", ControlKind::Image, 0, 0, 3735, 255},
          {L"Label2", ControlKind::Label, 2880, 1440, 960, 195, L"Close", Alignment::Center, false,
           false, SystemButtonText, 0, true, Role::PushButton, nullptr, 0},
          {L"Label4", ControlKind::Label, 240, 360, 3495, 855,
           L"Created for all the people on the board that install the MSN Scribbit plugin for "
           L"Messenger Plus! without reading the readme file.",
           Alignment::Left, true, false, SystemButtonText, 0, false, Role::StaticText},
          {L"Image2", ControlKind::Image, 3720, 35, 180, 180, L"", Alignment::Left, false, false,
           0, IDB_CLOSE, true, Role::PushButton, L"Exit"},  // it ends the program
          {L"Label1", ControlKind::Label, 150, 30, 2265, 195, L"MSN Scribbit Removal",
           Alignment::Left, false, true, SystemButtonText, 0, false, Role::StaticText},
          {L"Shape1", ControlKind::Shape, 2880, 1440, 975, 225, L"", Alignment::Left, false, false,
           0xFFFFFF},
      },
      Label2,   // Esc: "Close"
      Image2};  // Alt+F4
  return design;
}

void ShowModal() {
  platform::Form::Load(Design(), {Form_Load, Form_MouseMove, nullptr, Form_Click, ApplyTranslucency})
      .ShowModal();
}

platform::Form* Instance() { return Me != nullptr && Me->IsLoaded() ? Me : nullptr; }

}  // namespace frmAbout
