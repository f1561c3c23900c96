#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A small file in the state folder, "borrowed-keys-PID", that names the key codes this
// running copy has given symbols of its own on which display. It is written before the
// map changes and removed once the codes are empty again, so that a copy killed without a
// chance to restore them leaves the list for the next start.
class BorrowedKeysRecord {
 public:
  // Notes the codes (the whole set borrowed from now on); false when it cannot be written.
  bool Write(const std::vector<uint8_t>& keycodes);
  void Remove();

  struct Leftover {
    std::string path;
    std::vector<uint8_t> keycodes;
  };
  // The records left on this display by copies that are no longer running.
  static std::vector<Leftover> LeftOnThisDisplay();

 private:
  std::string path_;
  std::vector<uint8_t> written_;
};
