#include "framework/platform/NetworkState.h"

#include <ifaddrs.h>
#include <net/if.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>

namespace {

// Interfaces that are up and running, loopback left out.
std::set<std::string> UpInterfaces() {
  std::set<std::string> names;
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return names;
  for (ifaddrs* entry = list; entry; entry = entry->ifa_next) {
    const unsigned flags = entry->ifa_flags;
    if ((flags & IFF_UP) && (flags & IFF_RUNNING) && !(flags & IFF_LOOPBACK))
      names.insert(entry->ifa_name);
  }
  freeifaddrs(list);
  return names;
}

// Interfaces that carry a default route, from the kernel's routing tables.
std::set<std::string> DefaultRouteInterfaces() {
  std::set<std::string> names;
  std::ifstream ipv4("/proc/net/route");
  std::string line;
  std::getline(ipv4, line);  // the heading
  while (std::getline(ipv4, line)) {
    std::istringstream fields(line);
    std::string name, destination, gateway, flags, refs, use, metric, mask;
    fields >> name >> destination >> gateway >> flags >> refs >> use >> metric >> mask;
    if (destination == "00000000" && mask == "00000000") names.insert(name);
  }
  std::ifstream ipv6("/proc/net/ipv6_route");
  while (std::getline(ipv6, line)) {
    std::istringstream fields(line);
    std::string destination, prefix, source, sourcePrefix, next, metric, refs, use, flags, name;
    fields >> destination >> prefix >> source >> sourcePrefix >> next >> metric >> refs >> use >>
        flags >> name;
    if (destination == std::string(32, '0') && prefix == "00" && name != "lo") names.insert(name);
  }
  return names;
}

}  // namespace

bool HasNetworkConnection() {
  const std::set<std::string> up = UpInterfaces();
  for (const std::string& name : DefaultRouteInterfaces())
    if (up.count(name)) return true;
  return false;
}
