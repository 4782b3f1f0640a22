#pragma once

// How the extractor names what it writes in its "label: reason" lines on
// standard error, for the extractor and the pipeline that sorts its reasons.

namespace Tarnwick::ExtractorOutput {

// The label of every line about the MP3 stream written with -m.
inline constexpr char kMp3StreamLabel[] = "MP3 stream";

} // namespace Tarnwick::ExtractorOutput
