// Built without libwayland-client: no virtual keyboard, so the typing into other windows
// of a Wayland session says that the session does not allow it.
#include "framework/platform/WaylandKeys.h"

struct WaylandKeys::Connection {};

WaylandKeys::WaylandKeys() = default;
WaylandKeys::~WaylandKeys() = default;
bool WaylandKeys::Available() { return false; }
CharacterDelivery WaylandKeys::Send(char32_t) { return CharacterDelivery::Unavailable; }
bool WaylandKeys::Ready(char32_t) { return false; }
void WaylandKeys::Prepare(const std::vector<char32_t>&) {}
bool WaylandKeys::RoundTrip(void*) { return false; }
