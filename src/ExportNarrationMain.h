#pragma once

#include <string>

// orvane-notepad --export-narration SCRIPT OUT.wav: the narration of a script file as
// OUT.wav and OUT.srt, without a window or a display; progress on standard error.
int RunExportNarrationCommand(const std::string& script, const std::string& wave);
