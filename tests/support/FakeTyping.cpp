#include "support/FakeRuntimeServices.h"

CharacterDelivery FakeRuntimeServices::SendCharacter(int window, const Text& character) {
  if (window != 0 && window == closedWindow) return CharacterDelivery::WindowGone;
  if (window == 0 || window != focusedWindow) return CharacterDelivery::NotFocused;
  if (character.empty()) return CharacterDelivery::Sent;
  std::lock_guard lock(mutex_);
  Record(SendCharacterCall{window, character});
  return CharacterDelivery::Sent;
}

void FakeRuntimeServices::PrepareCharacters(const std::vector<Text>& steps, std::size_t next) {
  std::lock_guard lock(mutex_);
  Record(PrepareCharactersCall{next < steps.size() ? steps[next] : Text()});
}

void FakeRuntimeServices::RestoreKeyboardMap() {
  std::lock_guard lock(mutex_);
  Record(RestoreKeyboardMapCall{});
}

bool FakeRuntimeServices::CanKeyIntoWindows(const Text& step) {
  if (!keysOnlyAscii) return true;
  for (const char byte : step)
    if (static_cast<unsigned char>(byte) >= 0x80) return false;
  return true;
}

CharacterDelivery FakeRuntimeServices::PasteIntoWindow(int window, const Text& text,
                                                       bool terminal) {
  if (window != 0 && window == closedWindow) return CharacterDelivery::WindowGone;
  if (window == 0 || window != focusedWindow) return CharacterDelivery::NotFocused;
  std::lock_guard lock(mutex_);
  Record(PasteIntoWindowCall{window, text, terminal});
  return CharacterDelivery::Sent;
}
