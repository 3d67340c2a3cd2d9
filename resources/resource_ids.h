// Identifiers shared by quennvoldar.rc and the Win32 front end. Plain macros:
// the resource compiler reads this file too.
#pragma once

#define IDI_QUENNVOLDAR 1
