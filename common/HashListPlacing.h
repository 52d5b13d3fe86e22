#pragma once
// The elevated writers' side of the list index: lists placed into the folder that holds them
// together with the index generation that stands for them, and the index renewed where lists
// were written by hand. Needs an elevated caller.
#include <optional>
#include <string>
#include <vector>

#include "common/DataFolder.h"

namespace HashListPlacing {

// Places the files into the folder that holds the lists (DataFolder::PlaceFiles, with held as
// given) and, in the same step, the next generation of the index, built from what the four lists
// then hold; it is made current and the older generations are deleted where they can be (one a
// program holds open goes at a later placement). A list target left as it is because another
// program holds it keeps its old text, and its new content reaches the filter module through the
// index, which records the held file's stamp; every target left is added to held. False (and
// every target as it was) when any of it fails, a list that must be read for the index included.
bool PlaceLists(const std::wstring& folder, const std::vector<DataFolder::Placement>& files,
                DataFolder::HeldTarget heldTargets, std::vector<std::wstring>& held);

// Makes a new generation when the current one does not stand for the lists as they are (there is
// none yet, or a list or the definitions version was written by hand since). True when the index
// stands for them afterwards.
bool RenewIndex(const std::wstring& folder);

// The definitions version installed in the folder: the version file's, or while another program
// holds that file open without sharing, the current index's, as long as the file is still the one
// the index recorded. nullopt when neither gives one.
std::optional<int64_t> InstalledDefinitions(const std::wstring& folder);

}  // namespace HashListPlacing
