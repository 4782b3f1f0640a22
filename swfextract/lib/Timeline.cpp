#include "swfextract/lib/Timeline.h"

#include "swfextract/lib/CharacterUse.h"
#include "swfextract/lib/DisplayRecords.h"
#include "swfextract/lib/JpegData.h"
#include "swfextract/lib/TagCode.h"
#include "tarnwick/ByteReader.h"

#include <algorithm>
#include <map>
#include <set>

namespace SwfExtract {

using Tarnwick::ByteReader;

namespace {

constexpr int kCodecMp3 = 2;
constexpr std::uint8_t kActionStop = 0x07;
constexpr std::uint8_t kFileAttributesAs3 = 0x08;

struct ImageFacts
{
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    bool alpha = false;
};

std::uint32_t Be16(Bytes data, std::size_t at)
{
    return (std::uint32_t(data[at]) << 8) | data[at + 1];
}

std::uint32_t Be32(Bytes data, std::size_t at)
{
    return (Be16(data, at) << 16) | Be16(data, at + 2);
}

// The size in a JPEG's frame header, skipping the stray EOI/SOI pairs Flash
// writers leave before it.
ImageFacts JpegSize(Bytes data)
{
    std::size_t at = 0;
    while (at + 4 <= data.size()) {
        if (data[at] != 0xFF) {
            ++at;
            continue;
        }
        const std::uint8_t marker = data[at + 1];
        if (marker == 0xFF) {
            ++at;
            continue;
        }
        if (marker == 0xD8 || marker == 0xD9 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
            at += 2;
            continue;
        }
        if (marker == 0xDA)
            break;
        const std::size_t length = Be16(data, at + 2);
        const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame && at + 9 <= data.size())
            return {Be16(data, at + 7), Be16(data, at + 5), false};
        at += 2 + length;
    }
    return {};
}

ImageFacts PayloadSize(Bytes data)
{
    switch (DetectPayload(data)) {
    case PayloadKind::Png:
        if (data.size() >= 26)
            return {Be32(data, 16), Be32(data, 20), data[25] == 4 || data[25] == 6};
        return {};
    case PayloadKind::Gif:
        if (data.size() >= 10)
            return {std::uint32_t(data[6] | (data[7] << 8)), std::uint32_t(data[8] | (data[9] << 8)), false};
        return {};
    default: return JpegSize(data);
    }
}

// Size and alpha of a picture definition without decoding it.
ImageFacts PictureFacts(std::uint16_t code, Bytes body)
{
    ByteReader reader(body);
    reader.skip(2);
    switch (TagCode(code)) {
    case TagCode::DefineBits:
    case TagCode::DefineBitsJpeg2: return PayloadSize(reader.rest());
    case TagCode::DefineBitsJpeg3:
    case TagCode::DefineBitsJpeg4: {
        const std::uint32_t length = reader.u32();
        if (TagCode(code) == TagCode::DefineBitsJpeg4)
            reader.skip(2);
        ImageFacts facts = PayloadSize(reader.take(std::min<std::size_t>(length, reader.remaining())));
        facts.alpha = facts.alpha || reader.remaining() > 0;
        return facts;
    }
    default: {
        reader.u8();
        const std::uint32_t width = reader.u16();
        const std::uint32_t height = reader.u16();
        return {width, height, TagCode(code) == TagCode::DefineBitsLossless2};
    }
    }
}

// The RECT of a shape or (its start) of a morph shape.
Box ShapeBox(Bytes body)
{
    ByteReader reader(body);
    reader.skip(2);
    const Rect rect = ReadRect(reader);
    Box box;
    if (reader.ok()) {
        box.add(rect.xMin, rect.yMin);
        box.add(rect.xMax, rect.yMax);
    }
    return box;
}

bool IsPicture(std::uint16_t code)
{
    const std::optional<ObjectClass> objectClass = ClassOfTag(code);
    return objectClass == ObjectClass::Jpeg || objectClass == ObjectClass::Png;
}

std::string ReadString(ByteReader &reader)
{
    std::string text;
    while (reader.ok()) {
        const std::uint8_t c = reader.u8();
        if (c == 0 || !reader.ok())
            break;
        text += char(c);
    }
    return text;
}

// SOUNDINFO: flags, in/out points, loops, envelope.
void ReadSoundInfo(ByteReader &reader, SoundStartEvent &start)
{
    const std::uint8_t flags = reader.u8();
    start.stop = flags & 0x20;
    start.noMultiple = flags & 0x10;
    start.envelope = flags & 0x08;
    if (flags & 0x01)
        start.inPoint = reader.u32();
    if (flags & 0x02)
        start.outPoint = reader.u32();
    if (flags & 0x04)
        start.loops = reader.u16();
    if (flags & 0x08)
        reader.skip(std::size_t(reader.u8()) * 8);
}

// Any ActionStop among the actions of a DoAction (jumps are not followed).
bool HasStop(Bytes actions)
{
    ByteReader reader(actions);
    while (reader.remaining() > 0) {
        const std::uint8_t code = reader.u8();
        if (code == 0)
            return false;
        if (code == kActionStop)
            return true;
        if (code >= 0x80)
            reader.skip(reader.u16());
    }
    return false;
}

enum class Kind : std::uint8_t { Picture, BitmapUser, Container, Video, Other };

struct Character
{
    Kind kind = Kind::Other;
    std::uint32_t index = 0; // picture, video or sprite index; for shapes and buttons, one in m_bounds
    bool sprite = false;
    std::uint32_t linkStart = 0;
    std::uint32_t linkCount = 0;
    std::uint64_t stamp = 0;
};

struct Placement
{
    std::uint16_t character;
    std::uint32_t frame;
};

struct Sprite
{
    std::uint16_t id = 0;
    std::vector<SoundStartEvent> starts; // frames within the sprite
    std::vector<Placement> placements; // for the starts of nested sprites
    std::optional<std::size_t> stream; // index in spriteStreams
    bool active = false; // being expanded (cycle guard)
};

// One timeline being walked: the main one or a sprite's.
struct Context
{
    bool main = false;
    std::uint32_t frame = 0;
    std::optional<std::size_t> sprite;
    std::vector<std::uint16_t> children;
    bool headSeen = false;
    bool stopInFrame = false;
};

class Walker
{
public:
    Walker(const Limits &limits, Timeline &timeline)
        : m_limits(limits)
        , m_timeline(timeline)
        , m_current(65536, -1)
    {
    }

    // The movie's own warnings come first in the report.
    void addMovieWarnings(const std::vector<std::string> &warnings)
    {
        for (const std::string &warning : warnings)
            warn(warning);
    }

    void run(Bytes list, std::size_t base);

private:
    void walk(Bytes list, std::size_t base, Context &context, int depth);
    void onTag(const TagRef &tag, Bytes body, Context &context, int depth);
    void onPlace(const TagRef &tag, Bytes body, Context &context);
    void onRemove(std::uint16_t depth, Context &context);
    void place(std::uint16_t depth, std::uint16_t character, Context &context);
    void noteButton(std::uint16_t id, const Matrix &matrix);
    void noteEffects(bool filters, std::uint8_t blendMode);
    Box readButton(const TagRef &tag, Bytes body, const std::string &label, std::vector<std::uint16_t> &links);
    void onSymbolClass(ByteReader &reader);
    void onStartSound(const TagRef &tag, ByteReader &reader, Context &context);
    void onVideoFrame(const TagRef &tag, ByteReader &reader, Context &context);
    // A character definition; the read* steps return false for one that is
    // left out.
    void onDefinition(const TagRef &tag, Bytes body, int depth);
    std::vector<std::uint16_t> readSprite(const TagRef &tag, Bytes body, std::uint16_t id, int depth,
                                          Character &character);
    bool readVideoStream(Bytes body, std::uint16_t id, const std::string &label, Character &character);
    bool readSound(const TagRef &tag, Bytes body, std::uint16_t id, const std::string &label);
    bool readPicture(const TagRef &tag, Bytes body, std::uint16_t id, Character &character);
    // A definition too short to read: the movie is damaged. Returns false.
    bool leaveOut(const std::string &label);
    void onStart(SoundStartEvent start, Context &context);
    void onStreamHead(Bytes body, Context &context);
    void onStreamBlock(const TagRef &tag, Context &context);
    StreamTrack *streamOf(Context &context);
    void showMainFrame(Context &context);

    void define(std::uint16_t id, Character character, const std::optional<Box> &bounds);
    std::uint32_t addLinks(std::vector<std::uint16_t> links);
    void recompute(std::uint32_t frame);
    void expand(std::uint16_t id, int nest);
    void mark(std::uint32_t leaf);
    void placeSprite(std::uint16_t id, std::uint32_t frame, int nest);
    void addStart(const SoundStartEvent &start);
    bool spend(std::uint64_t steps);
    bool roomFor(std::size_t size, const char *what);
    void warnOnce(const std::string &text);
    void warn(std::string text);

    const Limits &m_limits;
    Timeline &m_timeline;
    std::vector<std::int32_t> m_current; // character ID -> index in m_characters
    std::vector<Character> m_characters;
    std::vector<std::uint16_t> m_links;
    std::vector<Sprite> m_sprites;
    std::vector<Box> m_bounds; // of shapes (their RECT) and buttons (their up state)
    std::vector<bool> m_buttonPlaced = std::vector<bool>(65536); // by character ID
    std::map<std::uint16_t, std::uint16_t> m_displayList; // depth -> character ID
    std::map<std::string, std::uint16_t> m_symbols;
    std::map<std::uint32_t, int> m_definitionCounts;
    std::uint64_t m_tags = 0;
    std::uint64_t m_work = 0;
    std::uint64_t m_generation = 0;
    bool m_dirty = false;
    bool m_outOfWork = false;
    std::vector<std::uint64_t> m_pictureStamps;
    std::vector<std::uint64_t> m_videoStamps;
    std::vector<std::uint32_t> m_onStage; // leaves: picture index, or video index | kVideoLeaf
    std::vector<std::uint32_t> m_nextStage;
    std::map<std::string, std::size_t> m_dropped; // what a cap left out, by list
    std::set<std::string> m_warned;
    static constexpr std::uint32_t kVideoLeaf = 0x80000000u;
};

void Walker::warn(std::string text)
{
    if (m_timeline.warnings.size() < m_limits.maxReportEntries)
        m_timeline.warnings.push_back(std::move(text));
    else
        ++m_dropped["warnings"];
}

void Walker::warnOnce(const std::string &text)
{
    if (m_warned.size() >= m_limits.maxReportEntries)
        ++m_dropped["warnings"];
    else if (m_warned.insert(text).second)
        warn(text);
}

bool Walker::spend(std::uint64_t steps)
{
    m_work += steps;
    if (m_work <= m_limits.maxTimelineWork)
        return true;
    if (!m_outOfWork)
        warn("the timeline is too complex to follow to the end (more than " + std::to_string(m_limits.maxTimelineWork)
             + " steps); later frames keep what was on stage");
    m_outOfWork = true;
    return false;
}

bool Walker::roomFor(std::size_t size, const char *what)
{
    if (size < m_limits.maxReportEntries)
        return true;
    ++m_dropped[what];
    return false;
}

void Walker::run(Bytes list, std::size_t base)
{
    Context main;
    main.main = true;
    walk(list, base, main, 0);
    // Pictures still on stage stay there to the last frame.
    for (std::uint32_t leaf : m_onStage) {
        FrameSpan &span = leaf & kVideoLeaf ? m_timeline.videos[leaf & ~kVideoLeaf].onStage
                                            : m_timeline.pictures[leaf].onStage;
        span.last = m_timeline.frames - 1;
    }
    for (SoundStartEvent &start : m_timeline.starts) {
        if (start.className.empty() || start.sound)
            continue;
        const auto found = m_symbols.find(start.className);
        if (found != m_symbols.end())
            start.sound = found->second;
        else
            warnOnce("StartSound2 class \"" + start.className + "\" is not in any SymbolClass");
    }
    // What the caps left out is said last, in place of the last warnings
    // when those fill the list.
    const std::size_t cap = m_limits.maxReportEntries;
    std::vector<std::string> &warnings = m_timeline.warnings;
    std::size_t kinds = m_dropped.size();
    if (warnings.size() + kinds > cap) {
        kinds += m_dropped.count("warnings") ? 0 : 1;
        const std::size_t keep = cap > kinds ? cap - kinds : 0;
        if (warnings.size() > keep) {
            m_dropped["warnings"] += warnings.size() - keep;
            warnings.resize(keep);
        }
    }
    for (const auto &[what, count] : m_dropped)
        if (warnings.size() < cap)
            warnings.push_back(std::to_string(count) + " more " + what + " not reported (the limit is "
                               + std::to_string(cap) + ")");
}

void Walker::walk(Bytes list, std::size_t base, Context &context, int depth)
{
    // The movie's own walk has reported any damage of the tag list itself.
    ByteReader reader(list);
    while (reader.remaining() >= 2) {
        const std::uint16_t codeAndLength = reader.u16();
        std::uint32_t length = codeAndLength & 0x3Fu;
        if (length == 0x3F)
            length = reader.u32();
        if (!reader.ok() || length > reader.remaining())
            return;
        const std::uint16_t code = codeAndLength >> 6;
        const TagRef tag{code, base + reader.position(), length};
        const Bytes body = reader.take(length);
        if (TagCode(code) == TagCode::End || ++m_tags > m_limits.maxTags)
            return;
        onTag(tag, body, context, depth);
    }
}

void Walker::onTag(const TagRef &tag, Bytes body, Context &context, int depth)
{
    ByteReader reader(body);
    switch (TagCode(tag.code)) {
    case TagCode::ShowFrame:
        if (context.main)
            showMainFrame(context);
        else
            ++context.frame;
        return;
    case TagCode::PlaceObject:
    case TagCode::PlaceObject2:
    case TagCode::PlaceObject3: onPlace(tag, body, context); return;
    case TagCode::RemoveObject: reader.skip(2); [[fallthrough]];
    case TagCode::RemoveObject2: {
        const std::uint16_t at = reader.u16();
        if (reader.ok())
            onRemove(at, context);
        return;
    }
    case TagCode::FreeCharacter: {
        const std::uint16_t id = reader.u16();
        if (reader.ok()) {
            m_current[id] = -1;
            m_dirty = true;
        }
        return;
    }
    case TagCode::SetBackgroundColor:
        if (context.main && body.size() >= 3 && !m_timeline.background)
            m_timeline.background = (std::uint32_t(body[0]) << 16) | (std::uint32_t(body[1]) << 8) | body[2];
        return;
    case TagCode::FileAttributes:
        if (!body.empty())
            m_timeline.actionScript3 = body[0] & kFileAttributesAs3;
        return;
    case TagCode::DoAction:
        if (context.main && HasStop(body))
            context.stopInFrame = true;
        return;
    case TagCode::SymbolClass: onSymbolClass(reader); return;
    case TagCode::StartSound:
    case TagCode::StartSound2: onStartSound(tag, reader, context); return;
    case TagCode::SoundStreamHead:
    case TagCode::SoundStreamHead2: onStreamHead(body, context); return;
    case TagCode::SoundStreamBlock: onStreamBlock(tag, context); return;
    case TagCode::VideoFrame: onVideoFrame(tag, reader, context); return;
    default: break;
    }
    if (ClassOfTag(tag.code))
        onDefinition(tag, body, depth);
}

void Walker::onSymbolClass(ByteReader &reader)
{
    const std::uint16_t count = reader.u16();
    for (std::uint32_t i = 0; i < count && reader.ok(); ++i) {
        const std::uint16_t id = reader.u16();
        std::string name = ReadString(reader);
        if (reader.ok() && m_symbols.size() < m_limits.maxReportEntries)
            m_symbols[std::move(name)] = id;
    }
}

void Walker::onStartSound(const TagRef &tag, ByteReader &reader, Context &context)
{
    const bool byClass = TagCode(tag.code) == TagCode::StartSound2;
    SoundStartEvent start;
    if (byClass)
        start.className = ReadString(reader);
    else
        start.sound = reader.u16();
    ReadSoundInfo(reader, start);
    if (reader.ok())
        onStart(start, context);
    else
        warnOnce(byClass ? "a StartSound2 is cut short; it is left out" : "a StartSound is cut short; it is left out");
}

void Walker::onVideoFrame(const TagRef &tag, ByteReader &reader, Context &context)
{
    const std::uint16_t id = reader.u16();
    reader.skip(2);
    const std::int32_t index = reader.ok() ? m_current[id] : -1;
    if (index < 0 || m_characters[std::size_t(index)].kind != Kind::Video) {
        warnOnce("VideoFrame for " + std::to_string(id) + ", which is not a defined video stream, ignored");
        return;
    }
    VideoTrack &video = m_timeline.videos[m_characters[std::size_t(index)].index];
    ++video.frameCount;
    video.frames.push_back(VideoFrameRef{TagRef{tag.code, tag.offset + 4, tag.length - 4}, context.frame});
}

void Walker::showMainFrame(Context &context)
{
    if (m_dirty && !m_outOfWork)
        recompute(context.frame);
    m_dirty = false;
    m_timeline.lastFrameStops = context.stopInFrame;
    context.stopInFrame = false;
    m_timeline.frames = ++context.frame;
}

void Walker::onPlace(const TagRef &tag, Bytes body, Context &context)
{
    PlaceRecord record;
    if (!ReadPlaceRecord(tag.code, body, record)) {
        warnOnce(std::string(TagName(tag.code)) + " cut short; it is ignored");
        m_timeline.damaged = true;
        return;
    }
    noteEffects(record.filters, record.blendMode);
    // A move without a character keeps what is at the depth.
    if (!record.character)
        return;
    if (context.main)
        noteButton(*record.character, record.matrix);
    place(record.depth, *record.character, context);
}

void Walker::noteEffects(bool filters, std::uint8_t blendMode)
{
    m_timeline.effects.filters = m_timeline.effects.filters || filters;
    m_timeline.effects.blendModes = m_timeline.effects.blendModes || !DrawsNormally(blendMode);
}

void Walker::noteButton(std::uint16_t id, const Matrix &matrix)
{
    const std::int32_t index = m_current[id];
    if (index < 0 || m_buttonPlaced[id])
        return;
    const Character &character = m_characters[std::size_t(index)];
    if (character.kind != Kind::Container || character.sprite)
        return;
    m_buttonPlaced[id] = true;
    if (!roomFor(m_timeline.buttons.size(), "buttons"))
        return;
    // A button that shows no known shape is pressed at its origin.
    const Box &box = m_bounds[character.index];
    const double x = box.empty ? 0 : (box.xMin + box.xMax) / 2;
    const double y = box.empty ? 0 : (box.yMin + box.yMax) / 2;
    m_timeline.buttons.push_back(PlacedButton{id, matrix.mapX(x, y), matrix.mapY(x, y)});
}

void Walker::place(std::uint16_t depth, std::uint16_t character, Context &context)
{
    if (!context.main) {
        if (m_links.size() + context.children.size() >= m_limits.maxTimelineLinks) {
            warnOnce("more than " + std::to_string(m_limits.maxTimelineLinks)
                     + " placements inside sprites; the rest are not followed");
            return;
        }
        context.children.push_back(character);
        if (context.sprite)
            m_sprites[*context.sprite].placements.push_back(Placement{character, context.frame});
        return;
    }
    const auto at = m_displayList.find(depth);
    if (at == m_displayList.end() && m_displayList.size() >= m_limits.maxTimelineDepths) {
        warnOnce("more than " + std::to_string(m_limits.maxTimelineDepths)
                 + " depths in use at once; the rest are not followed");
        return;
    }
    if (at != m_displayList.end() && at->second == character)
        return;
    m_displayList[depth] = character;
    m_dirty = true;
    placeSprite(character, context.frame, 0);
}

void Walker::onRemove(std::uint16_t depth, Context &context)
{
    if (!context.main)
        return;
    if (m_displayList.erase(depth) > 0)
        m_dirty = true;
}

void Walker::placeSprite(std::uint16_t id, std::uint32_t frame, int nest)
{
    const std::int32_t index = m_current[id];
    if (index < 0 || !m_characters[std::size_t(index)].sprite || !spend(1))
        return;
    if (nest > m_limits.maxSpriteDepth) {
        warnOnce("sprites placed inside sprites deeper than " + std::to_string(m_limits.maxSpriteDepth)
                 + " are not followed");
        return;
    }
    const std::size_t spriteIndex = m_characters[std::size_t(index)].index;
    if (m_sprites[spriteIndex].active)
        return; // a sprite that places itself
    m_sprites[spriteIndex].active = true;
    const Sprite &sprite = m_sprites[spriteIndex];
    if (sprite.stream) {
        std::vector<std::uint32_t> &placedAt = m_timeline.spriteStreams[*sprite.stream].placedAt;
        if (roomFor(placedAt.size(), "sprite placements"))
            placedAt.push_back(frame);
    }
    for (const SoundStartEvent &inner : sprite.starts) {
        SoundStartEvent start = inner;
        start.frame += frame;
        start.sprite = sprite.id;
        addStart(start);
    }
    for (const Placement &placement : sprite.placements)
        placeSprite(placement.character, frame + placement.frame, nest + 1);
    m_sprites[spriteIndex].active = false;
}

void Walker::addStart(const SoundStartEvent &start)
{
    if (roomFor(m_timeline.starts.size(), "sound starts"))
        m_timeline.starts.push_back(start);
}

void Walker::onStart(SoundStartEvent start, Context &context)
{
    start.frame = context.frame;
    if (context.main) {
        addStart(start);
        return;
    }
    if (context.sprite && roomFor(m_sprites[*context.sprite].starts.size(), "sound starts in a sprite"))
        m_sprites[*context.sprite].starts.push_back(start);
}

StreamTrack *Walker::streamOf(Context &context)
{
    if (context.main)
        return m_timeline.stream ? &*m_timeline.stream : nullptr;
    if (!context.sprite || !m_sprites[*context.sprite].stream)
        return nullptr;
    return &m_timeline.spriteStreams[*m_sprites[*context.sprite].stream];
}

void Walker::onStreamHead(Bytes body, Context &context)
{
    if (body.size() < 4) {
        m_timeline.damaged = true;
        warnOnce("a sound stream head is too short; it is ignored");
        return;
    }
    if (context.headSeen) {
        warnOnce("a second sound stream head on one timeline is ignored");
        return;
    }
    context.headSeen = true;
    StreamTrack stream;
    stream.formatByte = body[1];
    if (body[1] >> 4 == kCodecMp3 && body.size() >= 6)
        stream.latencySeek = std::int16_t(body[4] | (body[5] << 8));
    if (context.main) {
        m_timeline.stream = stream;
        return;
    }
    if (!context.sprite || !roomFor(m_timeline.spriteStreams.size(), "sprite streams"))
        return;
    stream.sprite = m_sprites[*context.sprite].id;
    m_sprites[*context.sprite].stream = m_timeline.spriteStreams.size();
    m_timeline.spriteStreams.push_back(stream);
}

void Walker::onStreamBlock(const TagRef &tag, Context &context)
{
    StreamTrack *stream = streamOf(context);
    if (!stream) {
        warnOnce("sound stream blocks before any stream head are ignored");
        return;
    }
    ++stream->blockCount;
    stream->frames.see(context.frame);
    // MP3 blocks start with SampleCount and SeekSamples.
    const std::size_t skip = stream->formatByte >> 4 == kCodecMp3 ? 4 : 0;
    if (tag.length > skip)
        stream->blocks.push_back(StreamBlock{TagRef{tag.code, tag.offset + skip, tag.length - skip}, context.frame});
}

void Walker::define(std::uint16_t id, Character character, const std::optional<Box> &bounds)
{
    m_dirty = true;
    if (m_characters.size() >= m_limits.maxTimelineCharacters) {
        warnOnce("more than " + std::to_string(m_limits.maxTimelineCharacters)
                 + " character definitions; later ones are not followed");
        m_current[id] = -1;
        return;
    }
    if (bounds) {
        character.index = std::uint32_t(m_bounds.size());
        m_bounds.push_back(*bounds);
    }
    m_current[id] = std::int32_t(m_characters.size());
    m_characters.push_back(character);
}

std::uint32_t Walker::addLinks(std::vector<std::uint16_t> links)
{
    std::sort(links.begin(), links.end());
    links.erase(std::unique(links.begin(), links.end()), links.end());
    const std::size_t room = m_limits.maxTimelineLinks > m_links.size() ? m_limits.maxTimelineLinks - m_links.size()
                                                                        : 0;
    if (links.size() > room) {
        warnOnce("more than " + std::to_string(m_limits.maxTimelineLinks)
                 + " uses of characters by other characters; the rest are not followed");
        links.resize(room);
    }
    m_links.insert(m_links.end(), links.begin(), links.end());
    return std::uint32_t(links.size());
}

void Walker::onDefinition(const TagRef &tag, Bytes body, int depth)
{
    if (body.size() < 2)
        return; // the movie's walk has said so
    const std::uint16_t id = std::uint16_t(body[0] | (body[1] << 8));
    const std::string label = std::string(TagName(tag.code)) + " " + std::to_string(id);
    Character character;
    std::vector<std::uint16_t> links;
    std::optional<Box> bounds;
    switch (TagCode(tag.code)) {
    case TagCode::DefineShape:
    case TagCode::DefineShape2:
    case TagCode::DefineShape3:
    case TagCode::DefineShape4:
    case TagCode::DefineMorphShape:
    case TagCode::DefineMorphShape2:
        character.kind = Kind::BitmapUser;
        if (!BitmapsOfShape(tag.code, body, links)) {
            m_timeline.damaged = true;
            warn(label
                 + " could not be read to its end; bitmaps it fills with later "
                   "are not followed");
        }
        m_timeline.effects.bitmapFills = m_timeline.effects.bitmapFills || !links.empty();
        bounds = ShapeBox(body);
        break;
    case TagCode::DefineButton:
    case TagCode::DefineButton2:
        character.kind = Kind::Container;
        bounds = readButton(tag, body, label, links);
        break;
    case TagCode::DefineSprite: links = readSprite(tag, body, id, depth, character); break;
    case TagCode::DefineVideoStream:
        if (!readVideoStream(body, id, label, character))
            return;
        break;
    case TagCode::DefineSound:
        if (!readSound(tag, body, id, label))
            return;
        break;
    default:
        if (IsPicture(tag.code) && !readPicture(tag, body, id, character))
            return;
        break;
    }
    character.linkStart = std::uint32_t(m_links.size());
    character.linkCount = addLinks(std::move(links));
    define(id, character, bounds);
}

// What a button shows, the effects its records use, and the box of the
// shapes of its up state: where it is pressed.
Box Walker::readButton(const TagRef &tag, Bytes body, const std::string &label, std::vector<std::uint16_t> &links)
{
    std::vector<ButtonPart> parts;
    if (!ReadButtonParts(tag.code, body, parts)) {
        m_timeline.damaged = true;
        warn(label + " could not be read to its end; later records are not followed");
    }
    Box box;
    for (const ButtonPart &part : parts) {
        if (!(part.states & 0x07))
            continue; // hit-test-only records are never drawn
        links.push_back(part.character);
        noteEffects(part.filters, part.blendMode);
        const std::int32_t index = m_current[part.character];
        if (!(part.states & 0x01) || index < 0 || m_characters[std::size_t(index)].kind != Kind::BitmapUser)
            continue;
        const Box shown = part.matrix.map(m_bounds[m_characters[std::size_t(index)].index]);
        if (!shown.empty) {
            box.add(shown.xMin, shown.yMin);
            box.add(shown.xMax, shown.yMax);
        }
    }
    return box;
}

std::vector<std::uint16_t> Walker::readSprite(const TagRef &tag, Bytes body, std::uint16_t id, int depth,
                                              Character &character)
{
    character.kind = Kind::Container;
    character.sprite = true;
    character.index = std::uint32_t(m_sprites.size());
    Sprite sprite;
    sprite.id = id;
    m_sprites.push_back(sprite);
    if (body.size() < 4 || depth + 1 > m_limits.maxSpriteDepth)
        return {};
    Context inner;
    inner.sprite = character.index;
    walk(body.subspan(4), tag.offset + 4, inner, depth + 1);
    if (roomFor(m_timeline.sprites.size(), "sprites"))
        m_timeline.sprites.push_back(DefinedSprite{id, inner.frame});
    return std::move(inner.children);
}

bool Walker::leaveOut(const std::string &label)
{
    m_timeline.damaged = true;
    warn(label + " is too short; it is left out");
    return false;
}

bool Walker::readVideoStream(Bytes body, std::uint16_t id, const std::string &label, Character &character)
{
    ByteReader reader(body);
    reader.skip(4);
    VideoTrack video;
    video.id = id;
    video.width = reader.u16();
    video.height = reader.u16();
    reader.skip(1);
    video.codec = reader.u8();
    if (!reader.ok())
        return leaveOut(label);
    if (!roomFor(m_timeline.videos.size(), "videos"))
        return false;
    character.kind = Kind::Video;
    character.index = std::uint32_t(m_timeline.videos.size());
    m_timeline.videos.push_back(video);
    m_videoStamps.push_back(0);
    return true;
}

bool Walker::readSound(const TagRef &tag, Bytes body, std::uint16_t id, const std::string &label)
{
    ByteReader reader(body);
    reader.skip(2);
    SoundDefinition sound;
    sound.id = id;
    sound.formatByte = reader.u8();
    sound.samples = reader.u32();
    if (sound.formatByte >> 4 == kCodecMp3 && reader.remaining() >= 2)
        sound.seekSamples = std::int16_t(reader.u16());
    sound.tag = tag;
    if (!reader.ok())
        return leaveOut(label);
    if (roomFor(m_timeline.sounds.size(), "sounds"))
        m_timeline.sounds.push_back(sound);
    return true;
}

bool Walker::readPicture(const TagRef &tag, Bytes body, std::uint16_t id, Character &character)
{
    if (!roomFor(m_timeline.pictures.size(), "pictures"))
        return false;
    StagedPicture picture;
    picture.id = id;
    picture.jpeg = ClassOfTag(tag.code) == ObjectClass::Jpeg;
    picture.definition = ++m_definitionCounts[(std::uint32_t(picture.jpeg) << 16) | id];
    const ImageFacts facts = PictureFacts(tag.code, body);
    picture.width = facts.width;
    picture.height = facts.height;
    picture.alpha = facts.alpha;
    character.kind = Kind::Picture;
    character.index = std::uint32_t(m_timeline.pictures.size());
    m_timeline.pictures.push_back(picture);
    m_pictureStamps.push_back(0);
    return true;
}

void Walker::recompute(std::uint32_t frame)
{
    ++m_generation;
    m_nextStage.clear();
    for (const auto &[depth, id] : m_displayList)
        expand(id, 0);
    for (std::uint32_t leaf : m_nextStage) {
        FrameSpan &span = leaf & kVideoLeaf ? m_timeline.videos[leaf & ~kVideoLeaf].onStage
                                            : m_timeline.pictures[leaf].onStage;
        if (!span.first)
            span.first = frame;
    }
    for (std::uint32_t leaf : m_onStage) {
        const bool video = leaf & kVideoLeaf;
        const std::uint64_t stamp = video ? m_videoStamps[leaf & ~kVideoLeaf] : m_pictureStamps[leaf];
        if (stamp == m_generation)
            continue;
        FrameSpan &span = video ? m_timeline.videos[leaf & ~kVideoLeaf].onStage : m_timeline.pictures[leaf].onStage;
        span.last = frame - 1; // on stage since an earlier frame, so frame >= 1
    }
    m_onStage.swap(m_nextStage);
}

void Walker::mark(std::uint32_t leaf)
{
    std::uint64_t &stamp = leaf & kVideoLeaf ? m_videoStamps[leaf & ~kVideoLeaf] : m_pictureStamps[leaf];
    if (stamp == m_generation)
        return;
    stamp = m_generation;
    m_nextStage.push_back(leaf);
}

void Walker::expand(std::uint16_t id, int nest)
{
    const std::int32_t index = m_current[id];
    if (index < 0 || !spend(1))
        return;
    Character &character = m_characters[std::size_t(index)];
    if (character.stamp == m_generation)
        return; // seen in this frame already, or a cycle
    character.stamp = m_generation;
    switch (character.kind) {
    case Kind::Picture: mark(character.index); return;
    case Kind::Video: mark(character.index | kVideoLeaf); return;
    case Kind::BitmapUser:
        if (!spend(character.linkCount))
            return;
        for (std::uint32_t i = 0; i < character.linkCount; ++i) {
            // The bitmap as it is defined now, not when the shape was.
            const std::int32_t bitmap = m_current[m_links[character.linkStart + i]];
            if (bitmap >= 0 && m_characters[std::size_t(bitmap)].kind == Kind::Picture)
                mark(m_characters[std::size_t(bitmap)].index);
        }
        return;
    case Kind::Container:
        if (nest >= m_limits.maxSpriteDepth) {
            warnOnce("sprites and buttons nested deeper than " + std::to_string(m_limits.maxSpriteDepth)
                     + " are not followed");
            return;
        }
        for (std::uint32_t i = 0; i < character.linkCount; ++i)
            expand(m_links[character.linkStart + i], nest + 1);
        return;
    case Kind::Other: return;
    }
}

} // namespace

std::string SoundFormatName(int code)
{
    switch (code) {
    case 0: return "pcm";
    case 1: return "adpcm";
    case 2: return "mp3";
    case 3: return "pcm-le";
    case 4: return "nellymoser-16k";
    case 5: return "nellymoser-8k";
    case 6: return "nellymoser";
    case 7: return "alaw";
    case 8: return "mulaw";
    case 10: return "aac";
    case 11: return "speex";
    case 14: return "mp3-8k";
    default: return "code-" + std::to_string(code);
    }
}

std::string VideoCodecName(int code)
{
    switch (code) {
    case 2: return "h263";
    case 3: return "screen";
    case 4: return "vp6";
    case 5: return "vp6-alpha";
    case 6: return "screen2";
    case 7: return "avc";
    default: return "code-" + std::to_string(code);
    }
}

std::uint32_t SoundRate(std::uint8_t formatByte)
{
    switch (formatByte >> 4) {
    case 4:
    case 11: return 16000;
    case 5:
    case 14: return 8000;
    default: break;
    }
    static const std::uint32_t kRates[4] = {5512, 11025, 22050, 44100};
    return kRates[(formatByte >> 2) & 3];
}

int SoundChannels(std::uint8_t formatByte)
{
    return formatByte & 1 ? 2 : 1;
}

int SoundBits(std::uint8_t formatByte)
{
    return formatByte & 2 ? 16 : 8;
}

Timeline Timeline::read(const Movie &movie, const Limits &limits)
{
    Timeline timeline;
    // The tags start after the stage RECT, frame rate and frame count.
    ByteReader reader(movie.body());
    const int bits = int(reader.bits(5));
    for (int i = 0; i < 4; ++i)
        reader.bits(bits);
    reader.skip(4);
    if (!reader.ok()) {
        timeline.warnings = movie.warnings();
        return timeline;
    }
    const std::size_t tagsAt = reader.position();
    Walker walker(limits, timeline);
    walker.addMovieWarnings(movie.warnings());
    walker.run(movie.body().subspan(tagsAt), tagsAt);
    return timeline;
}

} // namespace SwfExtract
