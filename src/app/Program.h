#pragma once

#include "aids/TypingEffect.h"
#include "framework/RuntimeServices.h"

// The program-wide objects and values, created at start-up and released by the
// exit routine. Handlers reach the world only through `services`.
struct Program {
  explicit Program(RuntimeServices& runtime) : services(runtime) {}
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  RuntimeServices& services;
  Text CurrentFileName;
  TypingState typing;  // TypingJob and TypingThread
};
