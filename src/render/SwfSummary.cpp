#include "SwfSummary.h"

#include "tarnwick/Limits.h"

#include <QFile>
#include <QHash>
#include <QRectF>

#include <lzma.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>

namespace Render {

namespace {

// Reads bit fields (most significant bit first), as RECT and MATRIX are stored.
class BitReader
{
public:
    BitReader(const QByteArray &data, qsizetype pos)
        : m_data(data)
        , m_bit(pos * 8)
    {
    }
    quint32 bits(int n)
    {
        quint32 v = 0;
        for (int i = 0; i < n; ++i, ++m_bit) {
            const qsizetype byte = m_bit / 8;
            const int bit = byte < m_data.size() ? (quint8(m_data[byte]) >> (7 - m_bit % 8)) & 1 : 0;
            v = (v << 1) | quint32(bit);
        }
        return v;
    }
    qint32 sbits(int n)
    {
        if (n == 0)
            return 0;
        const quint32 v = bits(n);
        return n < 32 && (v & (1u << (n - 1))) ? qint32(v | ~((1u << n) - 1)) : qint32(v);
    }
    // Position of the next whole byte.
    qsizetype bytePos() const { return (m_bit + 7) / 8; }

private:
    const QByteArray &m_data;
    qint64 m_bit;
};

QRectF ReadRect(BitReader &r)
{
    const int n = int(r.bits(5));
    const double x0 = r.sbits(n), x1 = r.sbits(n), y0 = r.sbits(n), y1 = r.sbits(n);
    return QRectF(QPointF(x0, y0), QPointF(x1, y1)).normalized();
}

struct Matrix
{
    double a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;
    QPointF map(QPointF p) const { return {a * p.x() + c * p.y() + tx, b * p.x() + d * p.y() + ty}; }
};

Matrix ReadMatrix(BitReader &r)
{
    Matrix m;
    if (r.bits(1)) {
        const int n = int(r.bits(5));
        m.a = r.sbits(n) / 65536.0;
        m.d = r.sbits(n) / 65536.0;
    }
    if (r.bits(1)) {
        const int n = int(r.bits(5));
        m.b = r.sbits(n) / 65536.0;
        m.c = r.sbits(n) / 65536.0;
    }
    const int n = int(r.bits(5));
    m.tx = r.sbits(n);
    m.ty = r.sbits(n);
    return m;
}

void SkipColorTransform(BitReader &r, bool withAlpha)
{
    const bool add = r.bits(1), mult = r.bits(1);
    const int n = int(r.bits(4));
    const int fields = withAlpha ? 4 : 3;
    r.bits(n * fields * ((add ? 1 : 0) + (mult ? 1 : 0)));
}

quint16 U16(const QByteArray &d, qsizetype p)
{
    return p + 1 < d.size() ? quint16(quint8(d[p]) | quint8(d[p + 1]) << 8) : 0;
}

quint32 U32(const QByteArray &d, qsizetype p)
{
    return quint32(U16(d, p)) | quint32(U16(d, p + 2)) << 16;
}

bool Inflate(const QByteArray &in, qsizetype expected, QByteArray &out)
{
    out.resize(expected);
    z_stream z{};
    if (inflateInit(&z) != Z_OK)
        return false;
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(in.constData()));
    z.avail_in = uInt(in.size());
    z.next_out = reinterpret_cast<Bytef *>(out.data());
    z.avail_out = uInt(out.size());
    const int rc = inflate(&z, Z_FINISH);
    out.resize(qsizetype(z.total_out));
    inflateEnd(&z);
    // A truncated stream still gives the tags before the damage.
    return rc == Z_STREAM_END || rc == Z_BUF_ERROR || rc == Z_OK;
}

bool UnLzma(const QByteArray &props, const QByteArray &in, qsizetype expected, QByteArray &out)
{
    // The SWF keeps the five property bytes; the "alone" format wants them
    // followed by the uncompressed size.
    QByteArray stream = props;
    const quint64 size = quint64(expected);
    for (int i = 0; i < 8; ++i)
        stream.append(char((size >> (8 * i)) & 0xff));
    stream.append(in);
    lzma_stream z = LZMA_STREAM_INIT;
    if (lzma_alone_decoder(&z, UINT64_MAX) != LZMA_OK)
        return false;
    out.resize(expected);
    z.next_in = reinterpret_cast<const uint8_t *>(stream.constData());
    z.avail_in = size_t(stream.size());
    z.next_out = reinterpret_cast<uint8_t *>(out.data());
    z.avail_out = size_t(out.size());
    const lzma_ret rc = lzma_code(&z, LZMA_FINISH);
    out.resize(qsizetype(z.total_out));
    lzma_end(&z);
    return rc == LZMA_STREAM_END || rc == LZMA_OK || rc == LZMA_BUF_ERROR;
}

struct Scan
{
    QHash<quint16, QRectF> shapeBounds;
    QHash<quint16, QRectF> buttonBounds;
};

QString ColourOf(const QByteArray &d, qsizetype body)
{
    return QStringLiteral("#%1%2%3")
        .arg(quint8(d[body]), 2, 16, QLatin1Char('0'))
        .arg(quint8(d[body + 1]), 2, 16, QLatin1Char('0'))
        .arg(quint8(d[body + 2]), 2, 16, QLatin1Char('0'));
}

// The spot to press of a DefineButton (code 7) or DefineButton2 (34) whose
// body runs from `body` to `end`: the bounds of the shapes its up state
// shows, through their matrices.
QRectF ButtonBounds(const QByteArray &d, int code, qsizetype body, qsizetype end, const Scan &scan)
{
    qsizetype p = body + (code == 34 ? 5 : 2);
    QRectF bounds;
    bool any = false;
    while (p < end && quint8(d[p]) != 0) {
        const quint8 flags = quint8(d[p]);
        const quint16 character = U16(d, p + 1);
        BitReader r(d, p + 5);
        const Matrix m = ReadMatrix(r);
        if (code == 34)
            SkipColorTransform(r, true);
        p = r.bytePos();
        if (code == 34 && (flags & 0x10)) // filter list: give up on the rest
            break;
        if (code == 34 && (flags & 0x20))
            ++p;
        // Only the shapes seen in the up state make the spot to press.
        if ((flags & 0x01) && scan.shapeBounds.contains(character)) {
            const QRectF c = scan.shapeBounds.value(character);
            for (const QPointF corner : {c.topLeft(), c.topRight(), c.bottomLeft(), c.bottomRight()}) {
                const QPointF q = m.map(corner);
                if (!any)
                    bounds = QRectF(q, q);
                bounds.setLeft(std::min(bounds.left(), q.x()));
                bounds.setRight(std::max(bounds.right(), q.x()));
                bounds.setTop(std::min(bounds.top(), q.y()));
                bounds.setBottom(std::max(bounds.bottom(), q.y()));
                any = true;
            }
        }
    }
    return bounds;
}

// A PlaceObject2 (code 26) or PlaceObject3 (70) on the main timeline that
// places a known button adds the button's centre, once.
void NotePlacedButton(const QByteArray &d, int code, qsizetype body, qsizetype end, const Scan &scan, SwfSummary &s)
{
    // The flags are read only from within the tag.
    if (end - body < (code == 70 ? 2 : 1))
        return;
    const quint8 flags = quint8(d[body]);
    qsizetype p = body + (code == 70 ? 2 : 1) + 2;
    if (code == 70) {
        const quint8 flags2 = quint8(d[body + 1]);
        if (flags2 & 0x08) { // class name
            while (p < end && d[p] != 0)
                ++p;
            ++p;
        }
    }
    if (!(flags & 0x02))
        return;
    const quint16 character = U16(d, p);
    p += 2;
    if (!scan.buttonBounds.contains(character))
        return;
    Matrix m;
    if (flags & 0x04) {
        BitReader r(d, p);
        m = ReadMatrix(r);
    }
    const QRectF b = scan.buttonBounds.value(character);
    const QPointF centre = m.map(b.center()) / 20.0;
    if (!s.buttons.contains(centre))
        s.buttons.append(centre);
}

// `spriteDepth` is 0 on the main timeline; sprites deeper than the
// extractor reads are skipped.
void ScanTags(const QByteArray &d, qsizetype pos, qsizetype end, int spriteDepth, Scan &scan, SwfSummary &s)
{
    while (pos + 2 <= end) {
        const quint16 head = U16(d, pos);
        const int code = head >> 6;
        qsizetype length = head & 0x3f;
        pos += 2;
        if (length == 0x3f) {
            length = qsizetype(U32(d, pos));
            pos += 4;
        }
        if (code == 0 || length > end - pos)
            return;
        const qsizetype body = pos;
        pos += length;
        switch (code) {
        case 9: // SetBackgroundColor
            if (length >= 3)
                s.background = ColourOf(d, body);
            break;
        case 69: // FileAttributes
            if (length >= 1)
                s.actionScript3 = (quint8(d[body]) & 0x08) != 0;
            break;
        case 15:
        case 89: // StartSound, StartSound2
            s.eventSounds = true;
            break;
        case 18:
        case 45: // SoundStreamHead, SoundStreamHead2
            s.streamSound = true;
            break;
        case 2:
        case 22:
        case 32:
        case 83: { // DefineShape 1-4
            BitReader r(d, body + 2);
            scan.shapeBounds.insert(U16(d, body), ReadRect(r));
            break;
        }
        case 7:
        case 34: // DefineButton, DefineButton2
            scan.buttonBounds.insert(U16(d, body), ButtonBounds(d, code, body, pos, scan));
            break;
        case 26:
        case 70: // PlaceObject2, PlaceObject3
            if (spriteDepth == 0)
                NotePlacedButton(d, code, body, pos, scan, s);
            break;
        case 39: // DefineSprite: its sounds count, its placements are not on the main timeline
            if (length >= 4 && spriteDepth < Tarnwick::kMaxSpriteDepth)
                ScanTags(d, body + 4, pos, spriteDepth + 1, scan, s);
            break;
        default: break;
        }
    }
}

} // namespace

SwfSummary ReadSwfSummary(const QByteArray &file)
{
    SwfSummary s;
    if (file.size() < 8 || file.mid(1, 2) != "WS" || !QByteArrayView("FCZ").contains(file[0])) {
        s.error = QStringLiteral("not a SWF file");
        return s;
    }
    s.version = quint8(file[3]);
    const qint64 length = U32(file, 4);
    if (length < 8 || length > MaxSwfBytes) {
        s.error = QStringLiteral("the SWF header gives an impossible length (%1 bytes)").arg(length);
        return s;
    }
    QByteArray data;
    bool unpacked = true;
    if (file[0] == 'F') {
        data = file;
    } else if (file[0] == 'C') {
        QByteArray body;
        unpacked = Inflate(file.mid(8), qsizetype(length - 8), body);
        data = file.left(8) + body;
    } else {
        QByteArray body;
        unpacked = file.size() > 17 && UnLzma(file.mid(12, 5), file.mid(17), qsizetype(length - 8), body);
        data = file.left(8) + body;
    }
    if (!unpacked || data.size() < 21) {
        s.error = QStringLiteral("the SWF cannot be uncompressed");
        return s;
    }
    BitReader r(data, 8);
    const QRectF stage = ReadRect(r);
    const qsizetype pos = r.bytePos();
    s.widthPx = stage.width() / 20.0;
    s.heightPx = stage.height() / 20.0;
    s.frameRate = U16(data, pos) / 256.0;
    s.frameCount = U16(data, pos + 2);
    Scan scan;
    ScanTags(data, pos + 4, data.size(), 0, scan, s);
    s.ok = true;
    return s;
}

SwfSummary ReadSwfSummaryFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        SwfSummary s;
        s.error = QStringLiteral("cannot read %1: %2").arg(path, f.errorString());
        return s;
    }
    if (f.size() > MaxSwfBytes) {
        SwfSummary s;
        s.error = QStringLiteral("the file is larger than %1 MB").arg(MaxSwfBytes >> 20);
        return s;
    }
    return ReadSwfSummary(f.readAll());
}

} // namespace Render
