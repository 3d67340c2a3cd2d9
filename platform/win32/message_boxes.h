// The run's modal message boxes, centred on the screen, with German captions
// and buttons whatever the system's language.
#pragma once

#include <windows.h>

#include <string>

// owner: the window to disable while the box is up; nullptr makes the box
// modal for every window of the thread instead.
void ShowInformationBox(HWND owner, const std::string& text);
// "&Ja" / "&Nein"; true only for "&Ja".
bool AskYesNoBox(HWND owner, const std::string& text);
