#include "framework/qt/UiThread.h"

#include <cxxabi.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <typeinfo>

namespace {

std::string Demangled(const std::type_info& type) {
  int status = 0;
  std::unique_ptr<char, decltype(&std::free)> name(
      abi::__cxa_demangle(type.name(), nullptr, nullptr, &status), &std::free);
  return status == 0 && name ? name.get() : type.name();
}

}  // namespace

void ReportEscapedException(std::exception_ptr error) {
  std::string kind = "an exception of unknown type";
  std::string detail;
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    kind = Demangled(typeid(e));
    detail = e.what();
  } catch (...) {
    if (const std::type_info* type = abi::__cxa_current_exception_type()) kind = Demangled(*type);
  }
  // A failure that repeats (every look of a reading, say) is told once.
  static std::mutex mutex;
  static std::set<std::string> told;
  std::lock_guard lock(mutex);
  if (!told.insert(kind).second) return;
  std::fprintf(stderr, "orvane-notepad: internal error, skipped and going on: %s%s%s\n",
               kind.c_str(), detail.empty() ? "" : ": ", detail.c_str());
}
