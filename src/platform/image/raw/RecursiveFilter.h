#pragma once
// Gastal and Oliveira's recursive domain-transform filter ("Domain Transform for Edge-Aware
// Image and Video Processing", 2011): an edge-preserving smoothing that averages along edges and
// never across them, with nothing overshooting, in time independent of its reach. Each pass
// runs a first-order recursion along every row, forward and back, then along every column;
// the step between two neighbours is stretched by the change of a guide between them, so a
// large change all but stops the recursion there. Internal to the RAW developer.

#include <array>

namespace sorvel::image::raw {

// Planes of w x h floats, rows top down.
struct DomainPlanes {
    int w = 0, h = 0;
    std::array<float*, 2> filtered{};       // one or two planes, filtered in place
    int filteredCount = 1;
    std::array<const float*, 3> guide{};    // one or three planes, in the units `slope` expects
    int guideCount = 1;
};

// The step between neighbours is 1 + slope x (sum over the guide planes of |change|);
// `iterations` passes spread by `sigma` pixels together. `weights` is w x h floats of scratch.
// Every row and column is one recursion in a fixed order, so the result does not depend on how
// the rows or columns are shared between the cores.
void domainTransformFilter(const DomainPlanes& planes, float sigma, float slope, int iterations, float* weights);

}  // namespace sorvel::image::raw
