// Breaking a text into lines that fit a width, for texts drawn in a fixed
// space: the status line and message boxes. Widths come from a measure of
// the font in use, so the breaks are the ones the screen shows.
#pragma once

#include <functional>
#include <string>
#include <vector>

using TextWidth = std::function<int(const std::string&)>;

// Lines of a one-line text: broken at blanks, and a word wider than the line
// between characters. Never empty; a line holds at least one character.
std::vector<std::string> WrapText(const TextWidth& width, const std::string& text, int lineWidth);

// The text with a line break inserted in every word wider than lineWidth:
// after a path separator where one lets the piece fit, else between
// characters. Breaks that are there stay.
std::string BreakLongWords(const TextWidth& width, const std::string& text, int lineWidth);
