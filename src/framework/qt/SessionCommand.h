#pragma once

#include <string>

// `orvane-notepad --action NAME` (read-aloud, pause-reading, stop-reading, type,
// capture): asks the copy running in this desktop session to do it, without a display.
// Ends the process with status 0 done, 3 no copy runs (one line on standard error), 1 the copy
// did not answer.
[[noreturn]] void SendActionToRunningCopy(int& argc, char** argv, const std::string& name);
