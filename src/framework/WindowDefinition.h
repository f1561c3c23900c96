#pragma once

#include <vector>

#include "framework/Controls.h"
#include "framework/Types.h"

enum class ControlKind {
  Button,
  EditBox,
  Label,
  TransparentLabel,
  PictureBox,
  BalloonTip,
  CommonDialog,
};

enum class TextAlign { Left, Centre };

// A font as the design data gives it: a character height in pixels, not points.
struct FontDefinition {
  Text faceName;        // empty: the framework's default font
  int pixelHeight = 0;  // 0: the framework's default size
  bool bold = false;
};

// The design values of one control. Fields that do not apply to a kind are ignored.
struct ControlDefinition {
  Control name = Control::_启动窗口;
  ControlKind kind = ControlKind::Button;
  int left = 0, top = 0, width = 0, height = 0;
  Text caption;  // caption, or an edit box's initial content
  FontDefinition font;
  bool visible = true;
  bool disabled = false;
  // Edit boxes.
  bool multiLine = false;
  bool verticalScrollBar = false;
  TextAlign align = TextAlign::Left;
  Colour textColour = Rgb(0, 0, 0);
  Colour backgroundColour = Rgb(255, 255, 255);
  int spinMinimum = 0, spinMaximum = 0;  // spin buttons when the maximum is above the minimum
  // Picture box: the image file's bytes.
  ByteBuffer picture;
  // Common dialogs.
  int dialogType = 0;
  Text filter;
  Text defaultExtension;
};

struct MenuItemDefinition {
  MenuItem item;
  Text caption;
  bool checkable = false;  // shows a check mark, set through SetMenuItemChecked
};

struct MenuDefinition {
  Menu menu = Menu::菜单;
  Text caption;
  bool visible = false;
  std::vector<MenuItemDefinition> items;
};

struct WindowDefinition {
  Control name = Control::_启动窗口;
  Text title;
  int outerWidth = 0, outerHeight = 0;
  std::vector<ControlDefinition> controls;
  std::vector<MenuDefinition> menus;
};
