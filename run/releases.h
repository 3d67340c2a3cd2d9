// What a run keeps of signed releases: the manifests it accepted, the
// installation's release floor, and the way a refused release ends the run.
#pragma once

#include <cstdint>
#include <string>

#include "run/run_context.h"
#include "run/run_state.h"

// The manifests of the updater's folder and the product's, by these names.
inline constexpr const char* kUpdaterReleaseSlot = "Updater";
inline constexpr const char* kProductReleaseSlot = "Product";

// A release that proves not to be the vendor's ends the run: its message,
// the error outcome, and nothing of the download left waiting to be
// installed by this run or the next.
void RefuseRelease(RunState& state, RunContext& run, const std::string& message);

// The refusal's message for a manifest that was not accepted.
std::string ReleaseVerdictMessage(ManifestVerdict verdict);

// Where the manifests accepted for the download folder's content are kept,
// so that an install-only start can check what waits.
std::string ReleaseFolderOf(const RunState& state);
// Makes that folder the updater's own, as the download folder is; "" when
// it is, else the message why it cannot be used.
std::string PrepareReleaseFolder(const RunState& state);

// The last release number this installation accepted for the slot: kept
// beside its uninstall entry, which only an administrator may change; 0
// without an entry.
std::int64_t ReleaseFloor(const RunState& state, const std::string& slot);
void RaiseReleaseFloor(const RunState& state, const std::string& slot, std::int64_t release);
