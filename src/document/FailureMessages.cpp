#include "document/FailureMessages.h"

Text FailureMessage(const char* headline, const Text& path, const Text& reason) {
  return Text(headline) + "\r\n" + path + "\r\n" + reason;
}

Text ReasonFor(FileProblem problem) {
  switch (problem) {
    case FileProblem::NotFound:
      return "文件或其所在的文件夹不存在。";
    case FileProblem::NoPermission:
      return "没有权限。";
    case FileProblem::DiskFull:
      return "磁盘已满。";
    case FileProblem::ReadOnlyFileSystem:
      return "文件系统是只读的。";
    case FileProblem::NotRegularFile:
      return "不是普通文件。";
    case FileProblem::TooLarge:
      return "文件大于 256 MB。";
    case FileProblem::LinkRefused:
      return "这是其他用户在共享文件夹中放置的符号链接，为安全起见拒绝跟随。";
    case FileProblem::InUse:
      return "文件正被其他程序独占使用。";
    case FileProblem::NotText:
      return "不是文本文件。";
    case FileProblem::InputOutput:
      return "读写设备时出错。";
    case FileProblem::NameTooLong:
      return "文件名太长。";
    case FileProblem::None:
    case FileProblem::Other:
      break;
  }
  return "系统报告了错误。";
}
