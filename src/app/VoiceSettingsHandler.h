#pragma once

#include "app/Program.h"

// "语音设置…": the voice's speed, volume, pitch and variant, opened on the stored settings
// (values that cannot be used are named, their defaults shown); "试听" reads the sample
// with the values being edited; 确定 stores them for reading and export. Closing the
// dialog ends the sample's sound.
void VoiceSettingsClicked(Program& program);
