// What the discovery phase asks of a POSIX system: who runs the updater,
// whether that user may install, and whether the machine has a way out.
#include "platform/system_info.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

// ---- Routing tables ----

constexpr unsigned long kRouteUp = 0x0001;      // RTF_UP
constexpr unsigned long kRouteReject = 0x0200;  // RTF_REJECT: "unreachable" stand-ins

bool UsableRoute(unsigned long flags) {
  return (flags & kRouteUp) != 0 && (flags & kRouteReject) == 0;
}

// /proc/net/route: "Iface Destination Gateway Flags ... Mask ...", hex fields.
bool HasIpv4DefaultRoute() {
  std::ifstream table("/proc/net/route");
  std::string line;
  std::getline(table, line);  // column titles
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::string iface, destination, gateway;
    unsigned long flags = 0;
    if (!(fields >> iface >> destination >> gateway >> std::hex >> flags)) continue;
    if (destination == "00000000" && UsableRoute(flags)) return true;
  }
  return false;
}

// /proc/net/ipv6_route: destination, prefix length, source, source prefix
// length, next hop, metric, use count, reference count, flags, device.
bool HasIpv6DefaultRoute() {
  std::ifstream table("/proc/net/ipv6_route");
  std::string line;
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::string destination, prefixLength, source, sourceLength, nextHop, metric, refs, use;
    unsigned long flags = 0;
    if (!(fields >> destination >> prefixLength >> source >> sourceLength >> nextHop >> metric >>
          refs >> use >> std::hex >> flags)) {
      continue;
    }
    if (destination == std::string(32, '0') && prefixLength == "00" && UsableRoute(flags)) {
      return true;
    }
  }
  return false;
}

// ---- Folders ----

// The first entry of $XDG_DATA_DIRS; only absolute entries count.
std::string FirstDataFolder() {
  const char* dirs = std::getenv("XDG_DATA_DIRS");
  std::string first = dirs != nullptr ? dirs : "";
  first = first.substr(0, first.find(':'));
  if (first.empty() || first.front() != '/') first = "/usr/local/share";
  if (first.back() != '/') first += '/';
  return first;
}

}  // namespace

// ---- Users ----

bool IsUserAdmin(const std::string& installFolder) {
  if (geteuid() == 0) return true;
  return !installFolder.empty() && access(installFolder.c_str(), W_OK) == 0;
}

std::string GetCurrentUserName() {
  const passwd* entry = getpwuid(geteuid());
  return entry != nullptr && entry->pw_name != nullptr ? entry->pw_name : "";
}

// ---- Network ----

bool IsInternetConnected() { return HasIpv4DefaultRoute() || HasIpv6DefaultRoute(); }

// ---- Special folders ----

std::string AllUsersProgramsFolder() { return FirstDataFolder() + "applications/"; }
