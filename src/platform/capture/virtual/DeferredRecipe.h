#pragma once
// What the virtual rig keeps of a capture in the deferred photo store: the exposure of the
// still (its recipe: the rendering from the scene is deterministic, so the recipe makes the
// same photo again) and, for a Live Photo, the recipe of every movie frame so far.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/capture/virtual/PhotoPipeline.h"

namespace sorvel {

struct FrameRecipe {
    ExposureSettings exposure;
    double time = 0;
};

struct DeferredStill {
    StillJob job;  // everything but the raster, which comes from the scene
    // "builtin", "picture:" + the --scene file, or "custom" (a scene a test set in memory).
    std::string scene = "builtin";
    bool begun = false;  // false: written at the press, with the state of that moment
    bool captureError = false, missingData = false;
    bool live = false;
    std::filesystem::path movieFile;
    int movieRotation = 0;
    int preRollFrames = 0;
    bool movieFault = false;
};

Bytes encodeDeferredStill(const DeferredStill& record);
std::optional<DeferredStill> decodeDeferredStill(const Bytes& bytes);

// Frames are fixed-size additions to the record's log; a torn last one is dropped.
Bytes encodeFrameRecipe(const FrameRecipe& frame);
std::vector<FrameRecipe> decodeFrameRecipes(const Bytes& log);

}  // namespace sorvel
