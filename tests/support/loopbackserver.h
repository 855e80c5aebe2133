#pragma once

#include <QByteArray>
#include <QMap>
#include <QObject>
#include <QStringList>
#include <QUrl>

#include <memory>
#include <unordered_map>

class QFile;
class QTcpServer;
class QTcpSocket;

// A scripted HTTP/1.1 server on 127.0.0.1 for tests: each path answers as the test says, one request
// a connection. It runs in the thread that made it, so it answers while the code under test spins its
// own event loop.
class LoopbackServer : public QObject {
    Q_OBJECT
public:
    struct Response {
        QByteArray status = "200 OK"; // the status line's code and reason
        QByteArray body {}; // sent as is unless generatedSize >= 0
        qint64 generatedSize = -1; // >= 0: a body of this many bytes of patternByte(i), made as the socket drains
        enum class Length { Exact, Absent, Text } length = Length::Exact;
        QByteArray lengthText {}; // the Content-Length header's text when length == Text, true or not
        qint64 sendLimit = -1; // >= 0: only this many body bytes are sent
        bool reset = false; // the connection ends in a reset once the body is sent, not in a close
        bool stallBeforeHeaders = false; // read the request, answer nothing, keep the connection open
        // As a web server that compresses on the fly: gzipped whatever was asked, sent chunked
        // without a length, the connection kept open for the next request.
        bool gzipChunked = false;
    };

    explicit LoopbackServer(QObject *parent = nullptr);
    ~LoopbackServer() override;

    // path like "/patch/_versions.txt"; a later call for the same path replaces the earlier answer.
    // Unknown paths answer "404 Not Found" with a short page, as a real server does.
    void serve(const QString &path, const Response &response);
    // urlPrefix like "/patch/": the files of the folder, nothing outside it.
    void serveFolder(const QString &urlPrefix, const QString &folder);

    QUrl url(const QString &path = QStringLiteral("/")) const; // http://127.0.0.1:<port><path>
    // The request targets as received, in the order received.
    QStringList requestedPaths() const { return m_requested; }
    // The requests' header lines, in the order received.
    QList<QByteArray> requestHeads() const { return m_heads; }

    // The generated body's byte at index: deterministic, and varied so that misplaced pieces show.
    static char patternByte(qint64 index);

private:
    struct Connection;

    void accept();
    void readFrom(QTcpSocket *socket);
    void pump(QTcpSocket *socket);
    void resetWhenSent(QTcpSocket *socket);
    void forget(QTcpSocket *socket);
    Response responseFor(const QString &path, std::unique_ptr<QFile> &file) const;

    QTcpServer *m_server = nullptr;
    QMap<QString, Response> m_responses;
    QMap<QString, QString> m_folders; // URL prefix -> folder
    QStringList m_requested;
    QList<QByteArray> m_heads;
    std::unordered_map<QTcpSocket *, std::unique_ptr<Connection>> m_connections;
};
