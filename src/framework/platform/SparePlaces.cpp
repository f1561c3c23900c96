#include "framework/platform/SparePlaces.h"

#include <algorithm>
#include <set>

SparePlace* PlaceOf(std::vector<SparePlace>& places, uint32_t keysym) {
  if (keysym == 0) return nullptr;
  for (SparePlace& place : places)
    if (place.keysym == keysym) return &place;
  return nullptr;
}

std::vector<uint8_t> PlanSparePlaces(std::vector<SparePlace>& places,
                                     const std::vector<uint32_t>& coming,
                                     SparePlace::Clock::time_point now,
                                     SparePlace::Clock::duration linger) {
  if (coming.empty() || PlaceOf(places, coming.front())) return {};
  const auto locked = [&](const SparePlace& place) {
    return place.keysym != 0 && place.lastUse + linger > now;
  };
  std::vector<bool> kept(places.size(), false);
  std::size_t available = static_cast<std::size_t>(
      std::count_if(places.begin(), places.end(), [&](const SparePlace& p) { return !locked(p); }));
  // Walks the coming keysyms while every distinct one still fits: those in a place keep
  // it, the others queue for a free one.
  std::vector<uint32_t> wanted;
  std::set<uint32_t> seen;
  for (uint32_t keysym : coming) {
    if (keysym == 0 || !seen.insert(keysym).second) continue;
    if (SparePlace* place = PlaceOf(places, keysym)) {
      const std::size_t index = static_cast<std::size_t>(place - places.data());
      if (!kept[index] && !locked(*place)) --available;
      kept[index] = true;
      if (wanted.size() > available) {
        wanted.pop_back();
        break;
      }
    } else {
      if (wanted.size() + 1 > available) break;
      wanted.push_back(keysym);
    }
  }
  if (wanted.empty()) return {};
  // Free places first, then those used longest ago.
  std::vector<std::size_t> order;
  for (std::size_t i = 0; i < places.size(); ++i)
    if (!kept[i] && !locked(places[i])) order.push_back(i);
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    if ((places[a].keysym == 0) != (places[b].keysym == 0)) return places[a].keysym == 0;
    return places[a].lastUse < places[b].lastUse;
  });
  std::set<uint8_t> changed;
  for (std::size_t i = 0; i < wanted.size() && i < order.size(); ++i) {
    places[order[i]].keysym = wanted[i];
    changed.insert(places[order[i]].keycode);
  }
  return {changed.begin(), changed.end()};
}
