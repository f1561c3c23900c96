#pragma once

#include <optional>
#include <vector>

#include "app/Program.h"
#include "framework/Events.h"

// One row of the main window's event table: which handler runs for which event.
struct EventBinding {
  EventKind kind;
  Control source;
  std::optional<MenuItem> item;  // menu clicks only; no item for every other binding
  void (*handler)(Program&, const Event&);
};

const std::vector<EventBinding>& MainWindowEvents();

// Runs the handler bound to the event, if any; other events are ignored.
void DispatchEvent(Program& program, const Event& event);
