// A generated directory tree for the directory tests, and helpers that turn
// listings into comparable lists of texts.
#pragma once

#include "TestSupport.h"
#include "zel/Directory.h"

#include <string>
#include <vector>

namespace filestest {

// Creates `relative` (written with '/') under `base`, with `bytes` bytes of content.
// A name ending in '/' makes a directory.
void make(const std::string& base, const std::string& relative, std::size_t bytes = 1);

// `relative` written with '/' turned into a path under `base` with PATHSEP.
std::string under(const std::string& base, const std::string& relative);

// Every item of the iterator, in its order: the name, "/" appended for a directory.
std::vector<std::string> listing(zel::DirectoryIterator& it);

// The paths of `files` with every occurrence of `base` replaced by "T" and
// PATHSEP turned into '/'.
std::vector<std::string> relativePaths(const zel::Array<zel::BaseString<char>>& files,
                                       const std::string& base);

// PATHSEP turned into '/'.
std::string slashed(std::string text);

// Makes a chain of `levels` folders named d below `base` (base/d/d/...), each
// holding a file f (only the deepest one when `fileInEach` is false), however long
// its paths grow. Returns the number of levels made.
int makeChain(const std::string& base, int levels, bool fileInEach);
// Removes the chain below `base` (the standard library's removal stops where
// paths grow too long).
void removeChain(const std::string& base);

// Makes `link` a link to the directory `target` (both full paths). Linux: a
// symbolic link. Windows: a directory symbolic link where the system allows it;
// under Wine, which refuses those, a Unix symbolic link made by the host's ln
// (Wine reports it as a reparse point, as Windows reports a link). Returns ""
// when made, otherwise why not.
std::string linkDirectory(const std::string& target, const std::string& link);
// Removes a link made by linkDirectory, not what it leads to.
void unlinkDirectory(const std::string& link);

// Moves the last-write time of `path` `seconds` into the past.
void age(const std::string& path, long long seconds);

} // namespace filestest
