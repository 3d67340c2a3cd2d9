// The release numbers this machine accepted last for a product, kept where
// only the updater may change them (platform port): whoever could lower one
// could have an older, once genuine release installed again.
//
// Windows: HKEY_LOCAL_MACHINE\SOFTWARE\Quennvoldar\Releases\<product> in the
// 32-bit view, one REG_QWORD per slot; below SOFTWARE only administrators and
// SYSTEM may write. POSIX: the file "<product>.releases" in the folder
// "Quennvoldar" of the registry stand-in's folder ($QUENNVOLDAR_REGISTRY_DIR,
// default /var/lib/quennvoldar/registry), one "slot=number" line per slot;
// folder and file must belong to the user the updater runs as and be
// writable by nobody else.
#pragma once

#include <cstdint>
#include <string>

#include "base/failure.h"

enum class FloorAccess {
  Ready,
  NotOwn,  // someone else could have changed it: not to be trusted
  Failed,  // cannot be read or kept
};

struct StoredFloor {
  FloorAccess access = FloorAccess::Failed;
  std::int64_t release = 0;  // 0 while none was kept for the slot
  Failure cause;             // why it is not Ready
};

// The slot's number; Ready with 0 when none was kept yet. Ready also says
// that a later write may succeed: the place can be written by the updater.
StoredFloor ReadReleaseFloor(const std::string& product, const std::string& slot);
// Ready with the number once it is kept.
StoredFloor WriteReleaseFloor(const std::string& product, const std::string& slot,
                              std::int64_t release);
// Where the numbers are kept, for a message.
std::string ReleaseFloorPlace(const std::string& product);
