#pragma once

#include <functional>

#include "app/Program.h"

// "导出语音和字幕…": asks for a WAV name and writes the editor's script as narration
// (NAME.wav and NAME.srt) on a worker, behind a progress box that can cancel.
void ExportNarrationClicked(Program& program);
// At exit: stops an export under way and waits, boundedly, until its worker has removed
// what it wrote. False when it did not end in time (the engine must not be finalised).
bool StopNarrationExportForExit(Program& program);

// "发音词典…": opens the pronunciation list in the user's editor, first writing one that
// explains itself when there is none; lines it cannot use are told with their numbers.
void EditPronunciations(Uses<Dialogs, FileSystem, Network> services);

// --export-narration SCRIPT OUT.AUDIO [OUT.SUBTITLES], without a window: reads the script
// file (a regular file of at most 256 MB, as 打开 does), writes both files (the subtitles
// as OUT.srt beside the audio when subtitlePath is empty) and tells the percentage done;
// keepGoing false stops it, leaving nothing. 0 when written; otherwise 1 with the reason
// in *problem.
int ExportNarrationCommand(
    Uses<FileSystem, Threads, Settings, Libraries, AudioFiles, Processes> services,
    const Text& scriptPath, const Text& audioPath, const Text& subtitlePath,
    const std::function<void(int percent)>& report, const std::function<bool()>& keepGoing,
    Text* problem);
