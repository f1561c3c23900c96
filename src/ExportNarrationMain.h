#pragma once

#include <string>

// orvane-notepad --export-narration SCRIPT OUT.AUDIO [OUT.SUBTITLES]: the narration of a
// script file as audio and subtitles (OUT.srt beside the audio when subtitles is empty),
// without a window or a display; progress on standard error. SIGTERM or SIGINT stop it
// and leave nothing behind (status 128 + the signal).
int RunExportNarrationCommand(const std::string& script, const std::string& audio,
                              const std::string& subtitles);
