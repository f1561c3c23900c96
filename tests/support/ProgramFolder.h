#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>

#include "support/FakeRuntimeServices.h"

// A scratch program folder holding recording stand-ins of the bundled libraries, so
// that handlers that call into them (start-up, exit) run against the fake. The
// recorders' paths come from the build (RECORDING_MSC, RECORDING_BASS).
class ProgramFolder {
 public:
  explicit ProgramFolder(FakeRuntimeServices& services) {
    std::string name = (std::filesystem::temp_directory_path() / "program-XXXXXX").string();
    if (::mkdtemp(name.data())) folder_ = name;
    for (const char* library : {RECORDING_MSC, RECORDING_BASS}) {
      const std::filesystem::path from(library);
      std::filesystem::copy_file(from, folder_ / from.filename());
    }
    services.programDirectory = folder_.string();
  }
  ~ProgramFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
  ProgramFolder(const ProgramFolder&) = delete;
  ProgramFolder& operator=(const ProgramFolder&) = delete;

 private:
  std::filesystem::path folder_;
};
