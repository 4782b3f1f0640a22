#include "TimelineReport.h"

#include "tarnwick/TimelineKeys.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace Pipeline {

namespace {

using Limits = TimelineReportLimits;
using namespace Tarnwick::TimelineKeys;

// A whole number in [low, high], or nothing (null, missing, text, 1.5, NaN).
std::optional<qint64> WholeNumber(const QJsonValue &value, qint64 low, qint64 high)
{
    if (!value.isDouble())
        return std::nullopt;
    const double number = value.toDouble();
    if (!std::isfinite(number) || number != std::floor(number) || number < double(low) || number > double(high))
        return std::nullopt;
    return qint64(number);
}

int SmallNumber(const QJsonValue &value, int fallback = 0)
{
    return int(WholeNumber(value, 0, 1 << 30).value_or(fallback));
}

// A stage side in whole pixels: the stage is in twips, so 550.5 is a real
// size (and rounds), where a whole-number reading would drop it.
int StageSide(const QJsonValue &value)
{
    const double side = value.toDouble(0);
    return value.isDouble() && std::isfinite(side) && side > 0 && side < (1 << 30) ? int(std::lround(side)) : 0;
}

std::optional<qint64> Frame(const QJsonValue &value)
{
    return WholeNumber(value, 0, Limits::kMaxCount);
}

std::optional<quint32> Id(const QJsonValue &value)
{
    const auto id = WholeNumber(value, 0, 0xFFFF);
    return id ? std::optional<quint32>(quint32(*id)) : std::nullopt;
}

bool Flag(const QJsonValue &value)
{
    return value.isBool() && value.toBool();
}

// The entries of a list up to `cap`; a longer list is noted as cut.
QJsonArray Capped(const QJsonObject &object, const char *key, qsizetype cap, QStringList &warnings)
{
    const QJsonArray all = object.value(QLatin1String(key)).toArray();
    if (all.size() <= cap)
        return all;
    warnings << QStringLiteral("The timeline lists %1 %2; only the first %3 are used.")
                    .arg(all.size())
                    .arg(QLatin1String(key))
                    .arg(cap);
    QJsonArray kept;
    for (qsizetype i = 0; i < cap; ++i)
        kept.append(all.at(i));
    return kept;
}

TimelineStream Stream(const QJsonObject &o, QStringList &warnings)
{
    TimelineStream s;
    s.sprite = Id(o.value(QLatin1String(kSprite))).value_or(0);
    s.format = o.value(QLatin1String(kFormat)).toString();
    s.rate = SmallNumber(o.value(QLatin1String(kRate)));
    s.channels = SmallNumber(o.value(QLatin1String(kChannels)));
    s.bits = SmallNumber(o.value(QLatin1String(kBits)));
    s.firstFrame = Frame(o.value(QLatin1String(kFirstFrame))).value_or(0);
    s.lastFrame = Frame(o.value(QLatin1String(kLastFrame))).value_or(s.firstFrame);
    s.blocks = Frame(o.value(QLatin1String(kBlocks))).value_or(0);
    s.latencySeek = int(WholeNumber(o.value(QLatin1String(kLatencySeek)), -32768, 32767).value_or(0));
    const QJsonArray placed = o.value(QLatin1String(kPlacedAt)).toArray();
    for (const QJsonValue &frame : placed) {
        if (s.placedAt.size() == Limits::kMaxPlacements) {
            warnings << QStringLiteral("Sprite %1 is placed %2 times; only the first %3 are used.")
                            .arg(s.sprite)
                            .arg(placed.size())
                            .arg(Limits::kMaxPlacements);
            break;
        }
        if (const auto f = Frame(frame))
            s.placedAt << *f;
    }
    return s;
}

// The movie as a whole: version, container, stage, clock, background.
void ReadMovie(const QJsonObject &root, TimelineReport &r)
{
    r.version = SmallNumber(root.value(QLatin1String(kVersion)));
    r.container = root.value(QLatin1String(kContainer)).toString();
    const QJsonObject stage = root.value(QLatin1String(kStage)).toObject();
    r.stageWidth = StageSide(stage.value(QLatin1String(kWidth)));
    r.stageHeight = StageSide(stage.value(QLatin1String(kHeight)));

    const QJsonValue rate = root.value(QLatin1String(kFrameRate));
    const double frameRate = rate.toDouble(0);
    if (rate.isDouble() && std::isfinite(frameRate) && frameRate > 0 && frameRate <= Limits::kMaxFrameRate)
        r.frameRate = frameRate;
    else
        r.warnings << QStringLiteral("The timeline gives no usable frame rate.");
    r.frameCount = Frame(root.value(QLatin1String(kFrameCount))).value_or(0);

    static const QRegularExpression colour(QStringLiteral("^#[0-9A-Fa-f]{6}$"));
    const QString background = root.value(QLatin1String(kBackground)).toString();
    if (colour.match(background).hasMatch())
        r.background = Tarnwick::Rgb{quint8(background.mid(1, 2).toUInt(nullptr, 16)),
                                     quint8(background.mid(3, 2).toUInt(nullptr, 16)),
                                     quint8(background.mid(5, 2).toUInt(nullptr, 16))};
    r.stops = Flag(root.value(QLatin1String(kStops)));
    r.actionScript3 = Flag(root.value(QLatin1String(kActionScript3)));
    const QJsonObject effects = root.value(QLatin1String(kEffects)).toObject();
    r.usesFilters = Flag(effects.value(QLatin1String(kFilters)));
    r.usesBlendModes = Flag(effects.value(QLatin1String(kBlendModes)));
    r.usesBitmapFills = Flag(effects.value(QLatin1String(kBitmapFills)));
}

// A button's centre; nothing for one off any stage a movie can have.
std::optional<QPointF> Centre(const QJsonObject &o)
{
    const QJsonValue x = o.value(QLatin1String(kX));
    const QJsonValue y = o.value(QLatin1String(kY));
    const auto usable = [](const QJsonValue &v) {
        return v.isDouble() && std::isfinite(v.toDouble()) && std::abs(v.toDouble()) <= Limits::kMaxCoordinate;
    };
    if (!usable(x) || !usable(y))
        return std::nullopt;
    return QPointF(x.toDouble(), y.toDouble());
}

std::optional<SpriteFrames> Sprite(const QJsonObject &o)
{
    const auto id = Id(o.value(QLatin1String(kId)));
    if (!id)
        return std::nullopt;
    return SpriteFrames{*id, Frame(o.value(QLatin1String(kFrames))).value_or(0)};
}

std::optional<TimelinePicture> Picture(const QJsonObject &o)
{
    const auto id = Id(o.value(QLatin1String(kId)));
    if (!id)
        return std::nullopt;
    TimelinePicture p;
    p.key.id = *id;
    p.key.definition = quint32(WholeNumber(o.value(QLatin1String(kDefinition)), 1, Limits::kMaxCount).value_or(1));
    p.kind = o.value(QLatin1String(kKind)).toString() == QLatin1String(kKindPng) ? SwfListing::Kind::Png
                                                                               : SwfListing::Kind::Jpeg;
    p.width = SmallNumber(o.value(QLatin1String(kWidth)));
    p.height = SmallNumber(o.value(QLatin1String(kHeight)));
    p.alpha = Flag(o.value(QLatin1String(kAlpha)));
    p.firstFrame = Frame(o.value(QLatin1String(kFirstFrame)));
    p.lastFrame = Frame(o.value(QLatin1String(kLastFrame)));
    if (p.firstFrame && (!p.lastFrame || *p.lastFrame < *p.firstFrame))
        p.lastFrame = p.firstFrame;
    if (!p.firstFrame)
        p.lastFrame.reset();
    return p;
}

std::optional<TimelineSound> Sound(const QJsonObject &o)
{
    const auto id = Id(o.value(QLatin1String(kId)));
    if (!id)
        return std::nullopt;
    TimelineSound s;
    s.id = *id;
    s.format = o.value(QLatin1String(kFormat)).toString();
    s.rate = SmallNumber(o.value(QLatin1String(kRate)));
    s.channels = SmallNumber(o.value(QLatin1String(kChannels)));
    s.bits = SmallNumber(o.value(QLatin1String(kBits)));
    s.samples = Frame(o.value(QLatin1String(kSamples))).value_or(0);
    s.seekSamples = int(WholeNumber(o.value(QLatin1String(kSeekSamples)), 0, 32767).value_or(0));
    const double seconds = o.value(QLatin1String(kSeconds)).toDouble(0);
    s.seconds = std::isfinite(seconds) && seconds > 0 ? seconds : 0;
    return s;
}

std::optional<SoundStart> Start(const QJsonObject &o)
{
    const auto id = Id(o.value(QLatin1String(kSound)));
    const auto frame = Frame(o.value(QLatin1String(kFrame)));
    // A StartSound2 whose class was not found names no sound.
    if (!id || !frame)
        return std::nullopt;
    SoundStart s;
    s.frame = *frame;
    s.sound = *id;
    s.sprite = Id(o.value(QLatin1String(kSprite))).value_or(0);
    s.loops = int(WholeNumber(o.value(QLatin1String(kLoops)), 0, Limits::kMaxLoops).value_or(1));
    // A loop count of 0 plays the sound once, as players do.
    s.loops = std::max(s.loops, 1);
    s.stop = Flag(o.value(QLatin1String(kStop)));
    s.noMultiple = Flag(o.value(QLatin1String(kNoMultiple)));
    s.inPoint = Frame(o.value(QLatin1String(kInPoint)));
    s.outPoint = Frame(o.value(QLatin1String(kOutPoint)));
    s.envelope = Flag(o.value(QLatin1String(kEnvelope)));
    return s;
}

std::optional<TimelineVideo> Video(const QJsonObject &o)
{
    const auto id = Id(o.value(QLatin1String(kId)));
    if (!id)
        return std::nullopt;
    TimelineVideo video;
    video.id = *id;
    video.codec = o.value(QLatin1String(kCodec)).toString();
    video.width = SmallNumber(o.value(QLatin1String(kWidth)));
    video.height = SmallNumber(o.value(QLatin1String(kHeight)));
    video.frames = Frame(o.value(QLatin1String(kFrames))).value_or(0);
    video.firstFrame = Frame(o.value(QLatin1String(kFirstFrame)));
    video.lastFrame = video.firstFrame ? Frame(o.value(QLatin1String(kLastFrame))).value_or(*video.firstFrame)
                                       : std::optional<qint64>();
    return video;
}

} // namespace

double TimelineReport::secondsAt(qint64 frame) const
{
    return frameRate > 0 ? double(frame) / frameRate : 0;
}

const TimelineSound *TimelineReport::sound(quint32 id) const
{
    for (const TimelineSound &s : sounds) {
        if (s.id == id)
            return &s;
    }
    return nullptr;
}

TimelineReportResult ParseTimelineReport(const QByteArray &json)
{
    TimelineReportResult result;
    if (json.size() > Limits::kMaxBytes) {
        result.error = QStringLiteral("The timeline report is larger than %1 bytes.").arg(Limits::kMaxBytes);
        return result;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject()) {
        result.error = parseError.error != QJsonParseError::NoError
                           ? QStringLiteral("The timeline report is not JSON: %1 at byte %2.")
                                 .arg(parseError.errorString())
                                 .arg(parseError.offset)
                           : QStringLiteral("The timeline report is not a JSON object.");
        return result;
    }
    const QJsonObject root = document.object();
    TimelineReport &r = result.report;

    QStringList cut;
    for (const QJsonValue &w : Capped(root, kWarnings, Limits::kMaxWarnings, cut)) {
        if (w.isString())
            r.warnings << w.toString();
    }
    r.warnings << cut;
    ReadMovie(root, r);

    for (const QJsonValue &v : Capped(root, kPictures, Limits::kMaxPictures, r.warnings)) {
        if (const auto picture = Picture(v.toObject()))
            r.pictures << *picture;
    }
    const QJsonValue stream = root.value(QLatin1String(kStream));
    if (stream.isObject()) {
        r.stream = Stream(stream.toObject(), r.warnings);
        r.stream->sprite = 0;
        r.stream->placedAt = {0};
    }
    for (const QJsonValue &v : Capped(root, kSpriteStreams, Limits::kMaxSpriteStreams, r.warnings)) {
        if (v.isObject())
            r.spriteStreams << Stream(v.toObject(), r.warnings);
    }
    for (const QJsonValue &v : Capped(root, kSounds, Limits::kMaxSounds, r.warnings)) {
        if (const auto sound = Sound(v.toObject()))
            r.sounds << *sound;
    }
    for (const QJsonValue &v : Capped(root, kSoundStarts, Limits::kMaxSoundStarts, r.warnings)) {
        if (const auto start = Start(v.toObject()))
            r.soundStarts << *start;
    }
    for (const QJsonValue &v : Capped(root, kVideos, Limits::kMaxVideos, r.warnings)) {
        if (const auto video = Video(v.toObject()))
            r.videos << *video;
    }
    for (const QJsonValue &v : Capped(root, kButtons, Limits::kMaxButtons, r.warnings)) {
        if (const auto centre = Centre(v.toObject()))
            r.buttons << *centre;
    }
    for (const QJsonValue &v : Capped(root, kSprites, Limits::kMaxSprites, r.warnings)) {
        if (const auto sprite = Sprite(v.toObject()))
            r.sprites << *sprite;
    }
    result.ok = true;
    return result;
}

} // namespace Pipeline
