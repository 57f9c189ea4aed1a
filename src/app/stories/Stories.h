#pragma once
// The story catalogue compiled into the program: 22 texts in the form Story.h describes.
// Index 0 opens every cycle and index 1 ends it (both ordinary, pink); of the others, 13 are
// ordinary (7 pink, 6 black-and-white) and 7 rare (6 in random colours, 1 black-and-white).

#include <string>
#include <vector>

namespace sorvel {

struct Stories {
    static const std::vector<std::string>& all();
};

}  // namespace sorvel
