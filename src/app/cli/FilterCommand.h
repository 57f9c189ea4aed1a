#pragma once
// `sorvel-camera filter decode|encode|apply`: share codes away from the camera.
//
//   filter decode CODE [--json]          the 25 parameters (id, name, value) of a letter or Hanzi code
//   filter encode ID=VALUE...            the letter code and the Hanzi code of those changes
//   filter apply CODE IN OUT [--quality Q]
//                                        a photo (JPEG, PNG, HEIC) through the filter, written as
//                                        HEIC or JPEG by OUT's extension, upright, Exif and GPS kept

#include <iosfwd>
#include <string>
#include <vector>

namespace sorvel {

// `args` starts after the word "filter". Returns the exit code: 0 done, 1 the output could not
// be written, 2 usage error, invalid code or unreadable photo (nothing written).
int runFilterCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace sorvel
