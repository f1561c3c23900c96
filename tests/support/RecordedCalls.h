#pragma once

#include <optional>
#include <variant>

#include "framework/RuntimeServices.h"

// What FakeRuntimeServices records: one struct per operation that changes
// something (or that a test needs to see), named after it, with fields that say
// what they hold.
struct SetPropertyCall {
  Control control;
  Property property;
  FontElement element;
  Value value;
};
struct SendControlMessageCall {
  Control control;
  int message;
  int first;
  int second;
};
struct AppendTextCall {  // one a text appended
  Control editBox;
  Text text;
};
struct RefreshNowCall {
  Control control;
};
struct GetWindowHandleCall {
  Control control;
};
struct CloseWindowCall {
  Control window;
};
struct PopUpMenuCall {
  Control owner;
  Menu menu;
  std::optional<int> x;  // none: next to the cursor
  std::optional<int> y;
};
struct ShowBalloonCall {
  Control balloon;
  int x;
  int y;
  Text text;
  int icon;
  Text title;
};
struct ApplyFlatStyleCall {
  int style;
};
struct OpenDialogCall {
  Control dialog;
};
struct MessageBoxCall {
  Value message;
  int style;
  std::optional<Text> caption;
  std::optional<Control> owner;
};
// The three ways of writing a whole file.
struct WriteFileCall {
  Text path;
};
struct CreateFileCall {
  Text path;
};
struct ReplaceFileCall {
  Text path;
};
struct BundledLibraryCall {
  Text fileName;
};
struct FetchUrlCall {
  Text address;
};
struct OpenUrlCall {
  Text address;
};
struct RegisterHotKeyCall {
  Control window;
  Control notifyControl;
  int modifiers;
  int keyCode;
};
struct UnregisterHotKeyCall {
  int number;
};
struct StartThreadCall {
  int argument;
};
struct SendCharacterCall {  // only characters that reached the window
  int window;
  Text character;
};
struct PasteIntoWindowCall {  // only pastes that reached the window
  int window;
  Text text;
  bool terminal;
};
struct RestoreKeyboardMapCall {};
struct PrepareCharactersCall {
  Text next;  // the step to be readied next
};
struct SetMenuItemCheckedCall {
  MenuItem item;
  bool checked;
};
struct BalloonAtControlCall {
  Control balloon;
  Control control;
  Text text;
};

using RecordedCall =
    std::variant<SetPropertyCall, SendControlMessageCall, AppendTextCall, RefreshNowCall,
                 GetWindowHandleCall, CloseWindowCall, PopUpMenuCall, ShowBalloonCall,
                 ApplyFlatStyleCall, OpenDialogCall, MessageBoxCall, WriteFileCall, CreateFileCall,
                 ReplaceFileCall, FetchUrlCall, OpenUrlCall, RegisterHotKeyCall,
                 UnregisterHotKeyCall, StartThreadCall, SendCharacterCall, RestoreKeyboardMapCall,
                 PrepareCharactersCall, SetMenuItemCheckedCall, BundledLibraryCall,
                 BalloonAtControlCall, PasteIntoWindowCall>;
