#pragma once

#include <functional>
#include <optional>

#include "framework/Controls.h"
#include "framework/Types.h"

// The events the window and its controls raise to the program's logic.
enum class EventKind {
  Created,          // the window and its controls exist, window still hidden
  CloseRequested,   // something asks the window to close; a handler may refuse
  Destroyed,        // the window has closed
  Clicked,          // a button was clicked
  MouseMoved,       // the mouse moved over the control
  RightMouseDown,   // the right mouse button was pressed on the control
  ContentChanged,   // an edit box's text changed
  Feedback,         // a label's feedback event (first, second)
  MenuItemClicked,  // a menu item was chosen
  ActionRequested,  // another process asked for an action by its name (text)
  OpenRequested,    // a second start of the program asked to open the file (text)
};

struct Event {
  EventKind kind = EventKind::Clicked;
  Control source = Control::_启动窗口;
  std::optional<MenuItem> item;  // set only for MenuItemClicked
  int first = 0;                 // Feedback arguments, or the mouse position
  int second = 0;
  Text text;                     // ActionRequested, OpenRequested
  mutable bool refused = false;  // CloseRequested: set by a handler to keep the window
};

using EventSink = std::function<void(const Event&)>;
