#pragma once

#include <string>

namespace platform {

// Moves the file or directory at source to exactly destination, also across
// file systems. Never replaces or follows anything at destination: an
// existing file, directory or symbolic link there (dangling or not) makes
// the move fail and stays untouched. Throws platform::Error on failure; the
// source is then left where it was.
void moveItem(const std::string& source, const std::string& destination);

}  // namespace platform
