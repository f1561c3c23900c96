#include "framework/platform/FileProblems.h"

#include <cerrno>

namespace {
thread_local FileProblem lastProblem = FileProblem::None;
}  // namespace

FileProblem LastFileProblem() { return lastProblem; }

void NoteFileProblem(FileProblem problem) { lastProblem = problem; }

bool NoteErrno() {
  NoteFileProblem(ProblemFromErrno(errno));
  return false;
}

FileProblem ProblemFromErrno(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return FileProblem::NotFound;
    case EACCES:
    case EPERM:
      return FileProblem::NoPermission;
    case ENOSPC:
    case EDQUOT:
      return FileProblem::DiskFull;
    case EROFS:
      return FileProblem::ReadOnlyFileSystem;
    case EISDIR:
    case ENXIO:
    case ENODEV:
      return FileProblem::NotRegularFile;
    case EFBIG:
      return FileProblem::TooLarge;
    case EWOULDBLOCK:
    case ETXTBSY:
    case EBUSY:
      return FileProblem::InUse;
    case EIO:
      return FileProblem::InputOutput;
    case ENAMETOOLONG:
      return FileProblem::NameTooLong;
    default:
      return FileProblem::Other;
  }
}
