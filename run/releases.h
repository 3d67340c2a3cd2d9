// What a run keeps of signed releases: the manifests it accepted, the
// product's release floor, what its archives unpacked, and the way a refused
// release ends the run.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "run/run_context.h"
#include "run/run_failure.h"
#include "run/run_state.h"

// The folder's name where its kept manifest and its floor are stored.
const char* SlotName(ReleaseFolder folder);

// A release that proves not to be the vendor's ends the run: its message,
// the error outcome, and nothing of the run left behind (the download
// folder, the kept partial downloads and manifests).
void RefuseRelease(RunState& state, RunContext& run, const RunFailure& refusal);

// The refusals of a file (its path in the release) that no manifest lists,
// whose bytes are not the listed ones (`why`: how they differ), or that the
// server withholds.
RunFailure FileNotReleased(const std::string& path);
RunFailure FileNotAuthentic(const std::string& path, const std::string& why);
RunFailure FileWithheld(const std::string& path);

// Where the manifests accepted for the download folder's content are kept,
// with the record of what its archives unpacked, so that an install-only
// start can check what waits.
std::string ReleaseFolderOf(const RunState& state);
// The record there of what the archives unpacked into the download folder.
std::string UnpackedRecordOf(const RunState& state);
// Makes that folder the updater's own, as the download folder is; the
// failure when it cannot be used.
std::optional<RunFailure> PrepareReleaseFolder(const RunState& state);

// Checks a manifest's text (from `source`) for the folder against the keys,
// the product, the time and the folder's floor; nullopt with `manifest`
// filled when accepted, else the refusal.
std::optional<RunFailure> CheckRelease(const RunState& state, const std::string& text,
                                       const std::string& source, ReleaseFolder folder,
                                       ReleaseManifest& manifest);
// Once the folder's release has landed, its number becomes the floor no
// later release may go below; the failure when it cannot be kept.
std::optional<RunFailure> RaiseReleaseFloor(const RunState& state, ReleaseFolder folder);
