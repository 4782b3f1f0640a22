#pragma once

#include "swfextract/lib/Movie.h"
#include "swfextract/lib/Result.h"

#include <cstdint>
#include <string>
#include <vector>

namespace SwfExtract {

// "1-3, 5, 7, 7": the IDs in ascending order, each as often as it occurs,
// runs of three or more consecutive IDs written first-last.
std::string FormatIdList(std::vector<std::uint16_t> ids);

// The listing: "Objects in file NAME:" then one line per class the movie
// holds, " [-j] 3 JPEGs: ID(s) 1-3", and " [-m] 1 MP3 Soundstream" for an MP3
// stream on the main timeline. Lines end with '\n'.
std::string FormatListing(const Movie &movie, const std::string &fileName);

// The class word, singular ("JPEG", "MovieClip").
const char *ClassWordOf(ObjectClass objectClass);

// Parses an ID list such as "1-3,5, 9" into its IDs, in the order given,
// ranges expanded. Blanks around elements are allowed.
Result<std::vector<std::uint16_t>> ParseIdList(const std::string &text);

} // namespace SwfExtract
