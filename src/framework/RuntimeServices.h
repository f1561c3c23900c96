#pragma once

#include <cstdint>

#include "framework/AudioFiles.h"
#include "framework/Dialogs.h"
#include "framework/FileSystem.h"
#include "framework/Libraries.h"
#include "framework/Network.h"
#include "framework/Processes.h"
#include "framework/Settings.h"
#include "framework/SystemHotKeys.h"
#include "framework/TextOperations.h"
#include "framework/Threads.h"
#include "framework/Types.h"
#include "framework/Typing.h"
#include "framework/WindowControls.h"

// Everything the program's logic may do to the world, one role interface for each kind
// of thing: the window's controls, dialogs, files, threads, the network, typing into
// other windows, system-wide hot keys, settings, the bundled libraries, audio files and
// processes. Handlers receive the catalogue by reference, or only the roles they use,
// and never reach past it. Every operation may be called from a worker thread:
// operations on controls are then carried out on the user-interface thread before the
// call returns.
class RuntimeServices : public WindowControls,
                        public Dialogs,
                        public FileSystem,
                        public Threads,
                        public Network,
                        public Typing,
                        public SystemHotKeys,
                        public Settings,
                        public Libraries,
                        public AudioFiles,
                        public Processes {
 public:
  ~RuntimeServices() override = default;

  // --- Text and data conversion (the same for every implementation) ----------
  int TextLength(const Text& text) { return ::TextLength(text); }
  Text MidText(const Text& text, int start, int count) { return ::MidText(text, start, count); }
  int FindText(const Text& text, const Text& sought, int start = 1, bool ignoreCase = false) {
    return ::FindText(text, sought, start, ignoreCase);
  }
  Text ToFullWidth(const Text& text) { return ::ToFullWidth(text); }
  Text ToHalfWidth(const Text& text) { return ::ToHalfWidth(text); }
  double ToNumber(const Text& text) { return ::ToNumber(text); }
  double ToNumber(double value) { return value; }
  Text ToText(const Value& value) { return ::ToText(value); }
  ByteBuffer ToBytes(std::int32_t value) { return ::ToBytes(value); }
  ByteBuffer ToBytes(std::int16_t value) { return ::ToBytes(value); }
  ByteBuffer ToBytes(const Text& text) { return ::ToBytes(text); }
  int ByteCount(const ByteBuffer& bytes) { return ::ByteCount(bytes); }
};
