// The folders a run writes below the temporary folder (the download folder
// and the folders beside it): what they hold is installed with the updater's
// rights, so each must be the updater's own before it is used.
#pragma once

#include <optional>
#include <string>

#include "run/run_failure.h"

// Makes the folder or finds it as the updater's own; when it cannot be used,
// the failure that ends the run.
std::optional<RunFailure> PrepareRunFolder(const std::string& folder);

// Where the download folder's kept partial downloads live: "…/Produkt/Daten/"
// keeps them in "…/Produkt/Daten.partial/".
std::string PartialDownloadsOf(const std::string& downloadFolder);
