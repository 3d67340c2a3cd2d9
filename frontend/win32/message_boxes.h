// The run's modal message boxes, centred on the work area, with German
// captions and buttons whatever the system's language, in the configured
// status font: its face, weight and size, smaller only where the work area
// would not hold the box. Each is a dialog of the system's dialog class with
// an icon, a static text and push buttons, which screen readers read as they
// read a message box.
#pragma once

#include <windows.h>

#include <string>

#include "frontend/front_end.h"

// owner: the window to disable while the box is up; nullptr (or a hidden
// window) makes the box block every window of the thread instead.
// "OK"; Esc and the close button mean OK as well.
void ShowInformationBox(HWND owner, const std::string& text, const StatusStyle& style);
// "&Ja" / "&Nein", "&Ja" the default; true only for "&Ja". As in a message
// box without a cancel button, Esc and the close button do nothing.
bool AskYesNoBox(HWND owner, const std::string& text, const StatusStyle& style);
