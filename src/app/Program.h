#pragma once

#include "aids/HotKeys.h"
#include "aids/TypingEffect.h"
#include "document/DocumentFiles.h"
#include "framework/RuntimeServices.h"

// The program-wide objects and values, created at start-up and released by the
// exit routine. Handlers reach the world only through `services`.
struct Program {
  explicit Program(RuntimeServices& runtime) : services(runtime) {}
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  RuntimeServices& services;
  DocumentState document;       // CurrentFileName and how the file was encoded
  TypingState typing;           // TypingJob and TypingThread
  HotKeyNumbers hotKeys;        // Ctrl+A, Ctrl+Z, Ctrl+Q as registered
  bool closeConfirmed = false;  // "退出" has asked about changed text already
};
