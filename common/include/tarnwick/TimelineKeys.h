#pragma once

// The member names of the extractor's --timeline report, for the extractor
// that writes it and the pipeline that reads it. Plain character arrays, so
// that the extractor's std-only code and Qt code can both use them.

namespace Tarnwick::TimelineKeys {

// The movie as a whole.
inline constexpr char kVersion[] = "version";
inline constexpr char kContainer[] = "container";
inline constexpr char kStage[] = "stage";
inline constexpr char kWidth[] = "width";
inline constexpr char kHeight[] = "height";
inline constexpr char kFrameRate[] = "frameRate";
inline constexpr char kFrameCount[] = "frameCount";
inline constexpr char kBackground[] = "background";
inline constexpr char kStops[] = "stops";
inline constexpr char kActionScript3[] = "actionScript3";
inline constexpr char kWarnings[] = "warnings";

// The lists and what their entries share.
inline constexpr char kPictures[] = "pictures";
inline constexpr char kStream[] = "stream";
inline constexpr char kSpriteStreams[] = "spriteStreams";
inline constexpr char kSounds[] = "sounds";
inline constexpr char kSoundStarts[] = "soundStarts";
inline constexpr char kVideos[] = "videos";
inline constexpr char kButtons[] = "buttons";
inline constexpr char kSprites[] = "sprites";
inline constexpr char kId[] = "id";
inline constexpr char kFirstFrame[] = "firstFrame";
inline constexpr char kLastFrame[] = "lastFrame";

// Pictures.
inline constexpr char kDefinition[] = "definition";
inline constexpr char kKind[] = "kind";
inline constexpr char kKindJpeg[] = "jpeg"; // values of kKind
inline constexpr char kKindPng[] = "png";
inline constexpr char kAlpha[] = "alpha";

// Sounds and streams.
inline constexpr char kFormat[] = "format";
inline constexpr char kRate[] = "rate";
inline constexpr char kChannels[] = "channels";
inline constexpr char kBits[] = "bits";
inline constexpr char kSprite[] = "sprite";
inline constexpr char kPlacedAt[] = "placedAt";
inline constexpr char kBlocks[] = "blocks";
inline constexpr char kLatencySeek[] = "latencySeek";
inline constexpr char kSamples[] = "samples";
inline constexpr char kSeconds[] = "seconds";
inline constexpr char kSeekSamples[] = "seekSamples";

// Sound starts.
inline constexpr char kFrame[] = "frame";
inline constexpr char kSound[] = "sound";
inline constexpr char kLoops[] = "loops";
inline constexpr char kStop[] = "stop";
inline constexpr char kNoMultiple[] = "noMultiple";
inline constexpr char kInPoint[] = "inPoint";
inline constexpr char kOutPoint[] = "outPoint";
inline constexpr char kEnvelope[] = "envelope";
inline constexpr char kClassName[] = "className";

// Videos ("frames" also counts a sprite's frames).
inline constexpr char kCodec[] = "codec";
inline constexpr char kFrames[] = "frames";

// Buttons: a centre in stage pixels.
inline constexpr char kX[] = "x";
inline constexpr char kY[] = "y";

// What the movie draws with that a simple renderer may not.
inline constexpr char kEffects[] = "effects";
inline constexpr char kFilters[] = "filters";
inline constexpr char kBlendModes[] = "blendModes";
inline constexpr char kBitmapFills[] = "bitmapFills";

} // namespace Tarnwick::TimelineKeys
