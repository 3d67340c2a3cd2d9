// The configuration file the main program hands over, and the names derived
// from it and from the command line.
#pragma once

#include <string>

#include "run/run_context.h"
#include "run/run_state.h"

// "%s - Quennvoldar V1.44" from the configuration file argument.
std::string MakeInstanceTitle(const std::string& firstArgument);

// Reads the configuration into the run state and, unless the run only
// installs, writes the updater's own lines back; false (after the failure
// message) when the file is missing or unusable.
bool LoadConfig(RunState& state, RunContext& run);

// The uninstall list: loaded with the updater's own list file named in it,
// saved when it names more than that.
void SyncUninstList(RunState& state, bool load);
