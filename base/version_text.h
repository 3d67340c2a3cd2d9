// The product's version texts: the short form of a file version, the
// " V1.44" word at the end of a product name, and its two numbers.
#pragma once

#include <cstdint>
#include <string>

// "1.4.4.0" -> "1.44", "2.1.0.0" -> "2.10", "1.0.0.0" -> "1.0"; a version
// not ending in ".0" stays; fewer than 3 characters give the empty text.
std::string ShortFileVersion(std::string fileVersion);
// "Foo Bar V1.43" -> "Foo Bar": a last word beginning with a capital "V" and
// holding a "." is removed.
std::string StripVersionSuffix(const std::string& text);
// StripVersionSuffix(name) + " V" + version; empty when either is empty.
std::string AppendVersionSuffix(const std::string& name, const std::string& version);
// The numbers before and after the first "."; -1 when there is none.
std::int32_t VersionMajorOf(const std::string& version);
std::int32_t VersionMinorOf(const std::string& version);
