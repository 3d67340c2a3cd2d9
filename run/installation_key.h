// This installation's uninstall entry: the product's key, when its
// InstallLocation names the installation folder (another installation of
// the same product has an entry of its own).
#pragma once

#include <memory>

#include "platform/registry.h"
#include "run/run_state.h"

std::unique_ptr<UninstallKey> OpenInstallationKey(const RunState& state);
