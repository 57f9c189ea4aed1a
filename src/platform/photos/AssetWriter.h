#pragma once
// Saving the assets of one change block so that a crash at any instant leaves each of them
// whole or absent:
//
//   1. every resource is written (or, for a moved movie, hard-linked) to a temporary name in the
//      library folder with its asset tag (AssetFiles.h) and fsynced; the sources are not removed;
//   2. a journal naming the final and temporary names is written atomically;
//   3. the temporaries are renamed to their final IMG_ names (never replacing a file), and the
//      folder is fsynced;
//   4. one index transaction adds the records: this is the commit point;
//   5. the journal is removed, then moved sources are unlinked.
//
// A failure before step 4 undoes steps 1-3. A crash before step 4 leaves a journal whose asset
// is not in the index; the next open removes its files (LibraryRecovery.h). A crash after step 4
// leaves a complete asset and, at worst, a stale journal or a movie still at its old place.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "AssetCreationRequest.h"
#include "LibraryIndex.h"
#include "PhotoAsset.h"

namespace sorvel {

struct SaveOutcome {
    std::vector<PhotoAsset> saved;     // empty on failure
    std::optional<LibraryError> error;
};

// Library queue only. `nextNumber` is the first free asset number and is advanced past the
// numbers used.
SaveOutcome saveAssets(const std::filesystem::path& folder, LibraryIndex& index,
                       const std::vector<std::unique_ptr<AssetCreationRequest>>& requests, Date creationDate,
                       std::int64_t& nextNumber);

}  // namespace sorvel
