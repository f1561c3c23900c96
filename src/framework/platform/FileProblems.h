#pragma once

#include "framework/FileProblem.h"

// The reason of the calling thread's last failed file operation, kept per thread so
// that a worker's failure never shows up as another thread's reason.
FileProblem LastFileProblem();
void NoteFileProblem(FileProblem problem);
// Notes the reason that errno gives; always false, so that a failure path can
// `return NoteErrno();`.
bool NoteErrno();
FileProblem ProblemFromErrno(int error);
