// What a run keeps of signed releases: the manifests it accepted, the
// product's release floor, what its archives unpacked, and the way a refused
// release ends the run.
#pragma once

#include <cstdint>
#include <string>

#include "run/run_context.h"
#include "run/run_state.h"

// The folder's name where its kept manifest and its floor are stored.
const char* SlotName(ReleaseFolder folder);

// A release that proves not to be the vendor's ends the run: its message,
// the error outcome, and nothing of the run left behind (the download
// folder, the kept partial downloads and manifests).
void RefuseRelease(RunState& state, RunContext& run, const std::string& message);

// The refusal's message for a manifest that was not accepted.
std::string ReleaseVerdictMessage(ManifestVerdict verdict);

// Where the manifests accepted for the download folder's content are kept,
// with the record of what its archives unpacked, so that an install-only
// start can check what waits.
std::string ReleaseFolderOf(const RunState& state);
// The record there of what the archives unpacked into the download folder.
std::string UnpackedRecordOf(const RunState& state);
// Makes that folder the updater's own, as the download folder is; "" when
// it is, else the message why it cannot be used.
std::string PrepareReleaseFolder(const RunState& state);

// Checks a manifest's text for the folder against the keys, the product,
// the time and the folder's floor; "" with `manifest` filled when accepted,
// else the refusal's message.
std::string CheckRelease(const RunState& state, const std::string& text, ReleaseFolder folder,
                         ReleaseManifest& manifest);
// Once the folder's release has landed, its number becomes the floor no
// later release may go below; "" when kept, else the message why not.
std::string RaiseReleaseFloor(const RunState& state, ReleaseFolder folder);
