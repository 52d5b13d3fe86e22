#pragma once
// The four hash lists of one launch as values: where they lie, and what was read from them for it.
#include <string>

#include "common/HashListIndexFile.h"
#include "filtermod/HashListFile.h"

// Where the lists lie (each "" when the folder that holds them could not be found).
struct HashListPaths {
  std::wstring definitionsMd5;
  std::wstring definitionsSha256;
  std::wstring userMd5;
  std::wstring userSha256;
  // Why the folder that holds them cannot be trusted; "" when it can (or is not there).
  std::wstring folderProblem;
};

// The lists read for one launch. Entries taken from an index point into index, which lives as
// long as they do.
struct HashLists {
  HashListFile::Entries definitionsMd5;
  HashListFile::Entries definitionsSha256;
  HashListFile::Entries userMd5;
  HashListFile::Entries userSha256;
  HashListIndex::MappedIndex index;
  // Why the lists could not be read; "" when they were. Lists not read check nothing, so every
  // launch weighed against them is blocked.
  std::wstring failure;
};
