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
