// Built without libwayland-client: the clipboard of a Wayland session cannot be set for
// another program, so the typing there keys only what the keyboard layout has.
#include "framework/platform/WaylandClipboard.h"

struct WaylandClipboard::Connection {};

WaylandClipboard::WaylandClipboard() = default;
WaylandClipboard::~WaylandClipboard() = default;
bool WaylandClipboard::Available() { return false; }
std::uint64_t WaylandClipboard::Offer(const std::string&) { return 0; }
bool WaylandClipboard::Read(std::uint64_t) { return false; }
