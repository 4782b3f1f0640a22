#include "CaptureServer.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QTcpSocket>
#include <QUrlQuery>

namespace Render {

namespace {

constexpr qsizetype MaxHeaderBytes = 16 * 1024;

QByteArray ContentType(const QString &path)
{
    if (path.endsWith(QStringLiteral(".html")))
        return "text/html; charset=utf-8";
    if (path.endsWith(QStringLiteral(".js")))
        return "text/javascript; charset=utf-8";
    if (path.endsWith(QStringLiteral(".wasm")))
        return "application/wasm";
    if (path.endsWith(QStringLiteral(".json")))
        return "application/json";
    if (path.endsWith(QStringLiteral(".swf")))
        return "application/x-shockwave-flash";
    return "application/octet-stream";
}

} // namespace

CaptureServer::CaptureServer(Content content)
    : m_content(std::move(content))
{
    QRandomGenerator *random = QRandomGenerator::system();
    for (int i = 0; i < 4; ++i)
        m_token += QString::number(random->generate64(), 36);
}

CaptureServer::~CaptureServer()
{
    for (QTcpSocket *socket : m_connections.keys()) {
        socket->disconnect();
        socket->abort();
        socket->deleteLater();
    }
}

bool CaptureServer::listen()
{
    m_server = std::make_unique<QTcpServer>();
    if (!m_server->listen(QHostAddress::LocalHost, 0))
        return false;
    QObject::connect(m_server.get(), &QTcpServer::newConnection, m_server.get(), [this] {
        while (QTcpSocket *socket = m_server->nextPendingConnection()) {
            m_connections.insert(socket, {});
            QObject::connect(socket, &QTcpSocket::readyRead, m_server.get(), [this, socket] { read(socket); });
            QObject::connect(socket, &QTcpSocket::disconnected, m_server.get(), [this, socket] {
                m_connections.remove(socket);
                m_held.removeAll(socket);
                socket->deleteLater();
            });
        }
    });
    return true;
}

QString CaptureServer::pageUrl() const
{
    return QStringLiteral("http://127.0.0.1:%1/%2/record.html").arg(m_server->serverPort()).arg(m_token);
}

void CaptureServer::read(QTcpSocket *socket)
{
    auto it = m_connections.find(socket);
    if (it == m_connections.end())
        return;
    Connection &c = *it;
    c.buffer += socket->readAll();
    for (;;) {
        if (c.bodyStart < 0) {
            // The head is looked for once, not again with every piece of a
            // large body.
            const qsizetype headerEnd = c.buffer.indexOf("\r\n\r\n");
            if (headerEnd < 0) {
                if (c.buffer.size() > MaxHeaderBytes)
                    socket->abort();
                return;
            }
            const QList<QByteArray> lines = c.buffer.left(headerEnd).split('\n');
            const QList<QByteArray> request = lines.value(0).trimmed().split(' ');
            qint64 length = 0;
            for (const QByteArray &line : lines) {
                const qsizetype colon = line.indexOf(':');
                if (colon > 0 && line.left(colon).trimmed().toLower() == "content-length")
                    length = line.mid(colon + 1).trimmed().toLongLong();
            }
            if (request.size() < 2 || length < 0 || length > m_content.maxBodyBytes) {
                socket->abort();
                return;
            }
            c.method = request[0];
            c.target = request[1];
            c.bodyStart = headerEnd + 4;
            c.bodyLength = length;
        }
        if (c.buffer.size() < c.bodyStart + c.bodyLength)
            return;
        const QByteArray body = c.buffer.mid(c.bodyStart, c.bodyLength);
        c.buffer.remove(0, c.bodyStart + c.bodyLength);
        c.bodyStart = -1;
        const QByteArray method = std::exchange(c.method, {}), target = std::exchange(c.target, {});
        handle(socket, method, target, body);
        if (!m_connections.contains(socket))
            return;
    }
}

void CaptureServer::handle(QTcpSocket *socket, const QByteArray &method, const QByteArray &target,
                           const QByteArray &body)
{
    const QUrl url(QString::fromLatin1(target));
    const QString prefix = QLatin1Char('/') + m_token + QLatin1Char('/');
    const QString path = url.path();
    if (!path.startsWith(prefix)) {
        reply(socket, 403);
        return;
    }
    const QString name = path.mid(prefix.size());
    const QUrlQuery query(url);
    if (method == "GET") {
        if (name == QStringLiteral("config.json"))
            reply(socket, 200, m_content.config, "application/json");
        else if (name == QStringLiteral("movie.swf"))
            serveFile(socket, m_content.moviePath);
        else if (name.startsWith(QStringLiteral("ruffle/")) && !name.mid(7).contains(QLatin1Char('/')))
            serveFile(socket, m_content.playerFolder + QLatin1Char('/') + name.mid(7));
        else if (!name.contains(QLatin1Char('/')))
            serveFile(socket, m_content.pageFolder + QLatin1Char('/') + name);
        else
            reply(socket, 404);
        return;
    }
    if (method != "POST") {
        reply(socket, 405);
        return;
    }
    if (name == QStringLiteral("frame")) {
        // The frame's pixels, then the pieces of sound listed as "at,samples;...".
        qsizetype soundBytes = 0;
        QList<std::pair<qint64, qsizetype>> pieces;
        const QStringList places =
            query.queryItemValue(QStringLiteral("audio")).split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (const QString &place : places) {
            const QStringList parts = place.split(QLatin1Char(','));
            const qsizetype bytes = parts.value(1).toLongLong() * 8;
            if (parts.size() != 2 || bytes < 0 || bytes > body.size() - soundBytes) {
                reply(socket, 400);
                return;
            }
            pieces.append({parts[0].toLongLong(), bytes});
            soundBytes += bytes;
        }
        // The sound first: what came with a frame counts in judging it.
        const qsizetype pixelBytes = body.size() - soundBytes;
        qsizetype offset = pixelBytes;
        for (const auto &[at, bytes] : pieces) {
            if (onSound)
                onSound(at, body.mid(offset, bytes));
            offset += bytes;
        }
        if (onFrame && query.queryItemValue(QStringLiteral("pixels")) != QStringLiteral("0"))
            onFrame(query.queryItemValue(QStringLiteral("n")).toInt(), body.left(pixelBytes));
        if (framesWaiting && framesWaiting())
            m_held.append(socket);
        else
            replyToFrame(socket);
    } else if (name == QStringLiteral("event")) {
        reply(socket, 200);
        if (onEvent)
            onEvent(QJsonDocument::fromJson(body).object());
    } else {
        reply(socket, 404);
    }
}

void CaptureServer::releaseFrames()
{
    if (framesWaiting && framesWaiting())
        return;
    const QList<QTcpSocket *> held = std::exchange(m_held, {});
    for (QTcpSocket *socket : held)
        replyToFrame(socket);
}

void CaptureServer::replyToFrame(QTcpSocket *socket)
{
    reply(socket, 200, frameAnswer ? frameAnswer() : QByteArray());
}

void CaptureServer::reply(QTcpSocket *socket, int status, const QByteArray &body, const QByteArray &type)
{
    const QByteArray reason = status == 200   ? "OK"
                              : status == 400 ? "Bad Request"
                              : status == 403 ? "Forbidden"
                              : status == 404 ? "Not Found"
                                              : "Error";
    QByteArray head = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason + "\r\nContent-Type: " + type
                      + "\r\nContent-Length: " + QByteArray::number(body.size())
                      + "\r\nCache-Control: no-store\r\nConnection: keep-alive\r\n\r\n";
    socket->write(head + body);
}

void CaptureServer::serveFile(QTcpSocket *socket, const QString &path)
{
    QFile f(path);
    if (QFileInfo(path).fileName().startsWith(QLatin1Char('.')) || !f.open(QIODevice::ReadOnly)) {
        reply(socket, 404);
        return;
    }
    reply(socket, 200, f.readAll(), ContentType(path));
}

} // namespace Render
