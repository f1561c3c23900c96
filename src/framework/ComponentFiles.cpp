#include "framework/ComponentFiles.h"

void WriteComponentFile(RuntimeServices& services, const ComponentFile& component) {
  const Text path = services.ProgramDirectory() + "/" + component.fileName;
  if (services.FileExists(path)) return;
  services.CreateFileBytes(path, {ByteBuffer(component.begin, component.end)});
}
