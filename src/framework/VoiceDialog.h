#pragma once

#include <vector>

#include "framework/Types.h"

// What the voice settings dialog ("语音设置…") shows and gives back. The dialog knows
// nothing of speech: the logic fills in the scales, the voices and their values.
struct VoiceDialogValues {
  int speed = 0;
  int volume = 0;
  int pitch = 0;
  int voice = 0;  // index into VoiceDialogSetup::voices
  friend bool operator==(const VoiceDialogValues&, const VoiceDialogValues&) = default;
};

struct VoiceDialogScale {
  int lowest = 0;
  int highest = 0;
};

struct VoiceDialogSetup {
  VoiceDialogScale speed, volume, pitch;
  std::vector<Text> voices;    // the choices' labels
  VoiceDialogValues designed;  // what "恢复默认" puts back
  VoiceDialogValues current;   // what the dialog opens with
  Text note;                   // shown under the controls when not empty
};
