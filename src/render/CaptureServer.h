#pragma once

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QTcpServer>

#include <functional>
#include <memory>

class QTcpSocket;

namespace Render {

// The recorder's end of the page: a small HTTP server on 127.0.0.1 at a
// random port that serves the page, the player and the movie, and takes the
// frames, the sound and the page's reports. Every path starts with a token
// made for this one recording, so that nothing else on the machine can
// feed it or read from it.
class CaptureServer
{
public:
    struct Content
    {
        QString pageFolder; // record.html, clock.js, record.js
        QString playerFolder; // the Ruffle build
        QString moviePath;
        QByteArray config; // config.json
        qint64 maxBodyBytes = 0;
    };
    // A frame (RGBA rows) and the pieces of sound (interleaved stereo
    // float32 from sample `at`) that came with it; the reply is held while
    // framesWaiting() says so, which holds the page back.
    std::function<void(int index, const QByteArray &pixels)> onFrame;
    std::function<void(qint64 at, const QByteArray &samples)> onSound;
    std::function<void(const QJsonObject &event)> onEvent;
    std::function<bool()> framesWaiting;
    // The answer to a frame once it is taken: "stop" ends the page's run.
    std::function<QByteArray()> frameAnswer;

    explicit CaptureServer(Content content);
    ~CaptureServer();

    bool listen();
    QString pageUrl() const;
    // Answers the frames held back, once framesWaiting() no longer says so.
    void releaseFrames();

private:
    struct Connection
    {
        QByteArray buffer;
        QByteArray method, target;
        qsizetype bodyStart = -1; // -1 until the head of a request is read
        qint64 bodyLength = 0;
    };
    void read(QTcpSocket *socket);
    void handle(QTcpSocket *socket, const QByteArray &method, const QByteArray &path, const QByteArray &body);
    void reply(QTcpSocket *socket, int status, const QByteArray &body = QByteArray(),
               const QByteArray &type = "text/plain");
    void serveFile(QTcpSocket *socket, const QString &path);
    void replyToFrame(QTcpSocket *socket);

    Content m_content;
    QString m_token;
    std::unique_ptr<QTcpServer> m_server;
    QHash<QTcpSocket *, Connection> m_connections;
    QList<QTcpSocket *> m_held;
};

} // namespace Render
