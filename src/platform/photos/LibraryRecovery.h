#pragma once
// Putting the library folder right at open, after a crash or a damaged index.

#include <cstdint>
#include <filesystem>
#include <vector>

#include "LibraryIndex.h"
#include "PhotoAsset.h"

namespace sorvel {

// Removes what saves interrupted before their commit left behind (see AssetWriter.h): the files
// named by each journal whose assets are not in `index`, temporary files, journals. Files named
// by a journal are removed only when their size is the one recorded, so a file a person put there
// under the same name is kept. With `index` null (the index is being rebuilt) the files of a
// journal are kept when every one of them reached its final name and size, so that the rebuild
// adopts the whole asset. Returns the number of files removed.
int removeInterruptedSaves(const std::filesystem::path& folder, const LibraryIndex* index);

// The records an index would have for the asset files in `folder`, for rebuilding a lost or
// damaged index. Files that carry their asset tag (AssetFiles.h) come back whole: identifier,
// creation date, location, pairing and resource order. For files without one (a file system
// without extended attributes, files copied in by a person):
// - files are grouped by their IMG_ number; a number with exactly one picture and one movie is a
//   Live Photo (both get a new shared pairing identifier), anything else is one asset per file;
// - the creation date is the file's modification time, which a save sets to the creation date;
// - local identifiers are new and there is no location.
std::vector<PhotoAsset> assetsFromFiles(const std::filesystem::path& folder);

// One more than the highest IMG_ number in the folder (1 for none).
std::int64_t firstFreeNumber(const std::filesystem::path& folder);

}  // namespace sorvel
