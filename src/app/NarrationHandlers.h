#pragma once

#include <functional>

#include "app/Program.h"

// "导出语音和字幕…": asks for a WAV name and writes the editor's script as narration
// (NAME.wav and NAME.srt) with a progress box that can cancel.
void ExportNarrationClicked(Program& program);

// --export-narration SCRIPT OUT.wav, without a window: reads the script file, writes
// both files and tells the percentage done. 0 when written; otherwise 1 with the
// reason in *problem.
int ExportNarrationCommand(RuntimeServices& services, const Text& scriptPath, const Text& wavePath,
                           const std::function<void(int percent)>& report, Text* problem);
