#include "SystemLibraries.h"

#include <dlfcn.h>

#include <optional>
#include <type_traits>

namespace bass {

namespace {

// Binds every slot of a table from one library; false when any is missing.
class Binder {
 public:
  explicit Binder(const char* soname) : library_(::dlopen(soname, RTLD_NOW | RTLD_LOCAL)) {}
  template <typename Slot>
  Binder& operator()(Slot& slot, const char* name) {
    slot = library_ ? reinterpret_cast<Slot>(::dlsym(library_, name)) : nullptr;
    complete_ = complete_ && slot;
    return *this;
  }
  bool Complete() const { return complete_; }

 private:
  void* library_;
  bool complete_ = library_ != nullptr;
};

}  // namespace

const CurlFunctions* Curl() {
  static const std::optional<CurlFunctions> bound = []() -> std::optional<CurlFunctions> {
    CurlFunctions f{};
    Binder bind("libcurl.so.4");
    bind(f.global_init, "curl_global_init")(f.easy_init, "curl_easy_init")(
        f.easy_cleanup, "curl_easy_cleanup")(f.easy_setopt, "curl_easy_setopt")(
        f.easy_getinfo, "curl_easy_getinfo")(f.multi_init, "curl_multi_init")(
        f.multi_cleanup, "curl_multi_cleanup")(f.multi_add_handle, "curl_multi_add_handle")(
        f.multi_remove_handle, "curl_multi_remove_handle")(f.multi_perform, "curl_multi_perform")(
        f.multi_poll, "curl_multi_poll")(f.multi_info_read, "curl_multi_info_read")(
        f.multi_wakeup, "curl_multi_wakeup");
    if (!bind.Complete() || f.global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) return std::nullopt;
    return f;
  }();
  return bound ? &*bound : nullptr;
}

const SndfileFunctions* Sndfile() {
  static const std::optional<SndfileFunctions> bound = []() -> std::optional<SndfileFunctions> {
    SndfileFunctions f{};
    Binder bind("libsndfile.so.1");
    bind(f.open_virtual, "sf_open_virtual")(f.close, "sf_close")(f.seek, "sf_seek")(
        f.readf_float, "sf_readf_float");
    if (!bind.Complete()) return std::nullopt;
    return f;
  }();
  return bound ? &*bound : nullptr;
}

}  // namespace bass
