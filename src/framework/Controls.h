#pragma once

// The window, its controls and its menu, by their design names.
enum class Control {
  _启动窗口,
  图片框1,
  按钮1,
  按钮2,
  按钮3,
  按钮4,
  按钮5,
  按钮6,
  按钮7,
  按钮8,
  按钮9,
  按钮10,
  按钮11,
  按钮12,
  按钮13,
  编辑框1,
  编辑框2,
  编辑框3,
  标签1,
  透明标签1,
  气球提示框1,
  通用对话框,
  通用对话框1,
  通用对话框2,
  通用对话框3,
};

enum class Menu { 菜单 };

enum class MenuItem {
  退出,
  上移还原,
  本软件更新,
  定制软件专版,
  关于Orvane,
  对本软件有建议或意见,
  朗读时标出句子,
  导出语音和字幕,
  打字到当前窗口,
  发音词典,
  自然节奏,
  热键设置,
  语音设置,
};

// Properties, with the value kind each one holds.
enum class Property {
  Left,              // integer
  Top,               // integer
  Width,             // integer
  Height,            // integer
  Visible,           // logical
  Disabled,          // logical
  Title,             // text: window caption, or a common dialog's title
  Content,           // text: an edit box's whole text, lines separated by CR LF
  Caption,           // text: buttons and labels
  TextColour,        // colour
  BackgroundColour,  // colour
  Font,              // one element at a time, see FontElement
  Picture,           // ByteBuffer: the bytes of an image file; empty clears it
  // Common dialogs.
  DialogType,        // integer: 0 open, 1 save, 2 font, 3 help
  FileName,          // text
  Filter,            // text: "description|pattern|..."
  InitialFilter,     // integer, 0-based; a confirmed file dialog leaves the pair chosen
  InitialDirectory,  // text
  DefaultExtension,  // text
  CreatePrompt,      // logical
  FileMustExist,     // logical
  OverwritePrompt,   // logical
  PathMustExist,     // logical
  KeepDirectory,     // logical
  Colour,            // colour chosen in the font dialog
  Bold,              // logical
  Italic,            // logical
  StrikeOut,         // logical
  Underline,         // logical
  FaceName,          // text
  Size,              // integer, points
};

// Elements of the font property, read and written one at a time.
enum class FontElement {
  None = -1,
  Angle = 0,  // tenths of a degree, kept within 0..3599
  Bold = 1,
  Italic = 2,
  StrikeOut = 3,
  Underline = 4,
  Size = 5,  // points
  FaceName = 6,
};

// Edit-box messages the program sends to its editor.
constexpr int EM_GETMODIFY = 0xB8;
constexpr int EM_SETMODIFY = 0xB9;
constexpr int EM_UNDO = 0xC7;
constexpr int EM_SETSEL = 0xB1;  // selects characters first..second; second -1: to the end
constexpr int WM_CLEAR = 0x303;  // deletes the selection as an undoable edit

// Answers of ShowMessageBox.
enum MessageBoxAnswer {
  kAnswerOk = 0,
  kAnswerCancel = 1,
  kAnswerAbort = 2,
  kAnswerRetry = 3,
  kAnswerIgnore = 4,
  kAnswerYes = 5,
  kAnswerNo = 6,
};

// Message-box style bits (Windows values).
constexpr int kMbOk = 0x0;
constexpr int kMbOkCancel = 0x1;
constexpr int kMbAbortRetryIgnore = 0x2;
constexpr int kMbYesNoCancel = 0x3;
constexpr int kMbYesNo = 0x4;
constexpr int kMbRetryCancel = 0x5;
constexpr int kMbIconStop = 0x10;
constexpr int kMbIconQuestion = 0x20;
constexpr int kMbIconExclamation = 0x30;
constexpr int kMbIconInformation = 0x40;
constexpr int kMbSystemModal = 0x1000;
constexpr int kMbTaskModal = 0x2000;
