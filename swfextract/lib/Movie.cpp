#include "swfextract/lib/Movie.h"

#include "swfextract/lib/TagCode.h"
#include "tarnwick/ByteReader.h"

#include <cerrno>
#include <cstring>

namespace SwfExtract {

using Tarnwick::ByteReader;

namespace {

constexpr int kStreamCodecMp3 = 2;

std::string At(std::size_t bodyOffset)
{
    return " at offset " + std::to_string(bodyOffset + 8);
}

} // namespace

// Walks a tag list and its sprites, filling the movie's catalogue.
class TagWalker
{
public:
    TagWalker(Movie &movie, const Limits &limits)
        : m_movie(movie)
        , m_limits(limits)
    {
    }

    // Walks the tags of `list` (which starts at body offset `base`); fails
    // only when a limit stops the walk.
    Status walk(Bytes list, std::size_t base, int depth);

private:
    void onTag(const TagRef &tag, Bytes body, int depth);
    void onStreamHead(const TagRef &tag, Bytes body);
    void onStreamBlock(const TagRef &tag);

    Movie &m_movie;
    const Limits &m_limits;
    std::uint64_t m_tags = 0;
    bool m_mainHeadIsMp3 = false;
    bool m_warnedOrphanBlocks = false;
    Status m_status = Done{};
};

Status TagWalker::walk(Bytes list, std::size_t base, int depth)
{
    const bool main = depth == 0;
    ByteReader reader(list);
    for (;;) {
        if (reader.remaining() == 0) {
            // A sprite ends where its tag ends even without an End tag.
            if (main)
                m_movie.warn("the movie has no End tag (cut file?)", true);
            return Done{};
        }
        const std::size_t headerAt = base + reader.position();
        const std::uint16_t codeAndLength = reader.u16();
        std::uint32_t length = codeAndLength & 0x3Fu;
        if (length == 0x3F)
            length = reader.u32();
        if (!reader.ok()) {
            m_movie.warn("a tag header is cut off" + At(headerAt), true);
            return Done{};
        }
        const std::uint16_t code = codeAndLength >> 6;
        if (++m_tags > m_limits.maxTags)
            return MakeError(ErrorCode::TooLarge,
                             "the movie has more than " + std::to_string(m_limits.maxTags) + " tags",
                             std::int64_t(headerAt + 8));
        const TagRef tag{code, base + reader.position(), length};
        if (length > reader.remaining()) {
            m_movie.warn(std::string(TagName(code)) + At(headerAt) + " is cut short: it claims "
                             + std::to_string(length) + " bytes, " + std::to_string(reader.remaining())
                             + " are there; it is left out",
                         true);
            return Done{};
        }
        const Bytes body = reader.take(length);
        if (TagCode(code) == TagCode::End)
            return Done{};
        onTag(tag, body, depth);
        if (!m_status)
            return m_status;
    }
}

void TagWalker::onTag(const TagRef &tag, Bytes body, int depth)
{
    const bool main = depth == 0;
    switch (TagCode(tag.code)) {
    case TagCode::ShowFrame:
        if (main)
            ++m_movie.frames;
        return;
    case TagCode::JpegTables: m_movie.jpegTables.push_back(tag); return;
    case TagCode::SoundStreamHead:
    case TagCode::SoundStreamHead2:
        if (main)
            onStreamHead(tag, body);
        return;
    case TagCode::SoundStreamBlock:
        // Blocks inside sprites play on the sprite's own clock: not the soundtrack.
        if (main)
            onStreamBlock(tag);
        return;
    default: break;
    }
    const std::optional<ObjectClass> objectClass = ClassOfTag(tag.code);
    if (!objectClass)
        return;
    if (body.size() < 2) {
        m_movie.warn(std::string(TagName(tag.code)) + At(tag.offset) + " is too short to hold an ID", true);
        return;
    }
    const std::uint16_t id = std::uint16_t(body[0] | (body[1] << 8));
    if (!main)
        m_movie.warn(std::string(TagName(tag.code)) + " " + std::to_string(id)
                         + " is defined inside a sprite; listed anyway",
                     false);
    m_movie.definitions.push_back(Definition{*objectClass, id, tag});
    if (TagCode(tag.code) != TagCode::DefineSprite)
        return;
    if (body.size() < 4) {
        m_movie.warn("DefineSprite " + std::to_string(id) + " is too short", true);
        return;
    }
    if (depth + 1 > m_limits.maxSpriteDepth) {
        m_movie.warn("sprites nested deeper than " + std::to_string(m_limits.maxSpriteDepth) + " are not read", true);
        return;
    }
    m_status = walk(body.subspan(4), tag.offset + 4, depth + 1);
}

void TagWalker::onStreamHead(const TagRef &tag, Bytes body)
{
    if (body.size() < 4) {
        m_movie.warn(std::string(TagName(tag.code)) + At(tag.offset) + " is too short", true);
        m_mainHeadIsMp3 = false;
        return;
    }
    const int codec = body[1] >> 4;
    m_mainHeadIsMp3 = codec == kStreamCodecMp3;
    if (!m_mainHeadIsMp3) {
        m_movie.otherStreamCodec = codec;
        return;
    }
    if (!m_movie.mp3Stream) {
        Mp3Stream stream;
        stream.formatByte = body[1];
        // Some writers leave LatencySeek out.
        if (body.size() >= 6)
            stream.latencySeek = std::int16_t(body[4] | (body[5] << 8));
        m_movie.mp3Stream = stream;
    }
}

void TagWalker::onStreamBlock(const TagRef &tag)
{
    if (!m_mainHeadIsMp3) {
        if (!m_warnedOrphanBlocks && !m_movie.otherStreamCodec)
            m_movie.warn("sound stream blocks without an MP3 stream head are ignored", false);
        m_warnedOrphanBlocks = true;
        return;
    }
    // Sample count and seek samples come first; the MP3 frames follow.
    if (tag.length <= 4)
        return;
    Mp3Stream &stream = *m_movie.mp3Stream;
    if (stream.blocks.empty())
        stream.firstFrame = m_movie.frames;
    stream.blocks.push_back(TagRef{tag.code, tag.offset + 4, tag.length - 4});
}

void Movie::warn(std::string text, bool damage)
{
    m_warnings.push_back(std::move(text));
    if (damage)
        m_complete = false;
}

std::optional<TagRef> Movie::tablesFor(const TagRef &defineBits) const
{
    std::optional<TagRef> found;
    for (const TagRef &tables : jpegTables) {
        if (tables.offset < defineBits.offset)
            found = tables;
        else if (!found)
            return tables;
    }
    return found;
}

Result<Movie> Movie::load(ByteSource &source, const Limits &limits)
{
    Result<MovieBody> loaded = LoadMovieBody(source, limits);
    if (!loaded)
        return loaded.error();
    Movie movie;
    movie.m_body = std::move(*loaded);
    movie.m_complete = movie.m_body.complete;
    movie.m_warnings = movie.m_body.warnings;

    ByteReader reader(movie.body());
    const int bits = int(reader.bits(5));
    const std::int32_t xMin = reader.signedBits(bits);
    const std::int32_t xMax = reader.signedBits(bits);
    const std::int32_t yMin = reader.signedBits(bits);
    const std::int32_t yMax = reader.signedBits(bits);
    movie.frameRate = reader.u16();
    (void)reader.u16(); // FrameCount: often wrong, ShowFrame tags are counted instead
    if (!reader.ok())
        return MakeError(ErrorCode::Truncated, "the movie ends inside its header", 8);
    movie.stageWidthTwips = std::int32_t(std::int64_t(xMax) - xMin);
    movie.stageHeightTwips = std::int32_t(std::int64_t(yMax) - yMin);

    TagWalker walker(movie, limits);
    const std::size_t tagsAt = reader.position();
    const Status walked = walker.walk(movie.body().subspan(tagsAt), tagsAt, 0);
    if (!walked)
        return walked.error();
    return movie;
}

Result<Movie> Movie::open(const std::string &path, const Limits &limits)
{
    FileSource source(path);
    if (!source.isOpen())
        return MakeError(ErrorCode::Unreadable, "cannot open " + path + ": " + std::strerror(errno));
    return load(source, limits);
}

} // namespace SwfExtract
