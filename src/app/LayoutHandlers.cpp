#include "app/LayoutHandlers.h"

namespace {

// Hidden in the compact layout, in this order; 按钮13 comes last so that the
// button being clicked disappears only after everything else.
constexpr Control kToolbar[] = {
    Control::图片框1, Control::编辑框2, Control::编辑框3, Control::按钮1,
    Control::按钮2,   Control::按钮3,   Control::按钮4,   Control::按钮5,
    Control::按钮6,   Control::按钮7,   Control::按钮8,   Control::按钮9,
    Control::按钮10,  Control::按钮11,  Control::按钮12,  Control::按钮13,
};

void ApplyLayout(WindowControls& controls, int editorTop, int editorHeight, bool toolbarVisible) {
  controls.SetProperty(Control::编辑框1, Property::Top, editorTop);
  controls.SetProperty(Control::编辑框1, Property::Height, editorHeight);
  for (Control control : kToolbar) controls.SetProperty(control, Property::Visible, toolbarVisible);
}

}  // namespace

void CompactLayout(WindowControls& controls) { ApplyLayout(controls, 23, 553, false); }

void RestoreLayout(WindowControls& controls) { ApplyLayout(controls, 103, 453, true); }

void ClearEditor(Program& program) {
  RuntimeServices& services = program.services;
  StopTyping(services, program.typing);
  // Deleting the whole selection is an edit that 撤销 takes back.
  services.SendControlMessage(Control::编辑框1, EM_SETSEL, 0, -1);
  services.SendControlMessage(Control::编辑框1, WM_CLEAR, 0, 0);
}

void TitleFromBanner(WindowControls& controls) {
  controls.SetProperty(Control::_启动窗口, Property::Title,
                       controls.GetProperty(Control::编辑框2, Property::Content).AsText());
}

void ShowMainMenu(WindowControls& controls) { controls.PopUpMenu(Control::透明标签1, Menu::菜单); }
