#pragma once

#include "framework/FileProblem.h"
#include "framework/Types.h"

// The text of a failure box: the headline ("保存文件失败!"), then the file's name, then
// why, in words the user knows.
Text FailureMessage(const char* headline, const Text& path, const Text& reason);
// The reason a file operation failed, as a sentence.
Text ReasonFor(FileProblem problem);
