#include "framework/platform/XkbKeySymbols.h"

// xkb.h names a field "explicit".
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit

#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};

constexpr std::size_t kEntryHead = sizeof(xcb_xkb_key_sym_map_t);  // 8 bytes before the keysyms
constexpr uint8_t kTwoLevelType = 1;                               // XKB's fixed index of TWO_LEVEL

uint16_t SymbolCount(const XkbKeyEntry& entry) {
  xcb_xkb_key_sym_map_t head;
  std::memcpy(&head, entry.data(), kEntryHead);
  return head.nSyms;
}

}  // namespace

bool UseXkb(xcb_connection_t* connection) {
  std::unique_ptr<xcb_xkb_use_extension_reply_t, FreeDeleter> reply(
      xcb_xkb_use_extension_reply(connection, xcb_xkb_use_extension(connection, 1, 0), nullptr));
  if (!reply || !reply->supported) return false;
  // A client that uses XKB is not sent the core MappingNotify when another client loads
  // a whole new keyboard (setxkbmap): it must ask for XKB's own notification.
  xcb_xkb_select_events(connection, XCB_XKB_ID_USE_CORE_KBD, XCB_XKB_EVENT_TYPE_NEW_KEYBOARD_NOTIFY,
                        0, XCB_XKB_EVENT_TYPE_NEW_KEYBOARD_NOTIFY, 0, 0, nullptr);
  return true;
}

bool IsXkbEvent(xcb_connection_t* connection, const xcb_generic_event_t* event) {
  const xcb_query_extension_reply_t* xkb = xcb_get_extension_data(connection, &xcb_xkb_id);
  return xkb && xkb->present && (event->response_type & 0x7F) == xkb->first_event;
}

bool ReadXkbKeys(xcb_connection_t* connection, uint8_t first, int count,
                 std::vector<XkbKeyEntry>& entries) {
  std::unique_ptr<xcb_xkb_get_map_reply_t, FreeDeleter> reply(xcb_xkb_get_map_reply(
      connection,
      xcb_xkb_get_map(connection, XCB_XKB_ID_USE_CORE_KBD, 0, XCB_XKB_MAP_PART_KEY_SYMS, 0, 0,
                      first, static_cast<uint8_t>(count), 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0),
      nullptr));
  if (!reply || reply->firstKeySym != first || reply->nKeySyms != count) return false;
  const auto* bytes = reinterpret_cast<const uint8_t*>(reply.get() + 1);
  const uint8_t* end = reinterpret_cast<const uint8_t*>(reply.get()) + 32 + 4 * reply->length;
  entries.clear();
  for (int i = 0; i < count; ++i) {
    if (bytes + kEntryHead > end) return false;
    xcb_xkb_key_sym_map_t head;
    std::memcpy(&head, bytes, kEntryHead);
    const std::size_t size = kEntryHead + 4u * head.nSyms;
    if (bytes + size > end) return false;
    entries.emplace_back(bytes, bytes + size);
    bytes += size;
  }
  return true;
}

bool WriteXkbKeys(xcb_connection_t* connection, uint8_t first,
                  const std::vector<XkbKeyEntry>& entries) {
  const xcb_setup_t* setup = xcb_get_setup(connection);
  std::vector<uint8_t> values;
  int symbols = 0;
  for (const XkbKeyEntry& entry : entries) {
    values.insert(values.end(), entry.begin(), entry.end());
    symbols += SymbolCount(entry);
  }
  std::unique_ptr<xcb_generic_error_t, FreeDeleter> error(xcb_request_check(
      connection,
      xcb_xkb_set_map_checked(connection, XCB_XKB_ID_USE_CORE_KBD, XCB_XKB_MAP_PART_KEY_SYMS, 0,
                              setup->min_keycode, setup->max_keycode, 0, 0, first,
                              static_cast<uint8_t>(entries.size()), static_cast<uint16_t>(symbols),
                              0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, values.data())));
  return !error;
}

XkbKeyEntry TwoLevelKey(uint32_t first, uint32_t second) {
  xcb_xkb_key_sym_map_t head{};
  head.kt_index[0] = kTwoLevelType;
  head.groupInfo = 1;
  head.width = 2;
  head.nSyms = 2;
  XkbKeyEntry entry(kEntryHead + 8);
  std::memcpy(entry.data(), &head, kEntryHead);
  std::memcpy(entry.data() + kEntryHead, &first, 4);
  std::memcpy(entry.data() + kEntryHead + 4, &second, 4);
  return entry;
}

bool EmptyKey(const XkbKeyEntry& entry) {
  if (entry.size() < kEntryHead) return true;
  for (std::size_t i = kEntryHead; i + 4 <= entry.size(); i += 4) {
    uint32_t keysym = 0;
    std::memcpy(&keysym, entry.data() + i, 4);
    if (keysym != 0) return false;
  }
  return true;
}
