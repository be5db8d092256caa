#pragma once
// Small files only the owner may read (keys, pinned fingerprints).

#include <string>

// Writes `text` to `path` through a temporary file of mode 0600 beside it,
// renamed over it once complete, so a crash never leaves half a file; the
// missing folders on the way are made private to the owner.
bool WritePrivateFile(const std::string& path, const std::string& text);

// The whole file (at most 1 MiB of it); false when it cannot be opened.
bool ReadSmallFile(const std::string& path, std::string& out);
