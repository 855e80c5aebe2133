#pragma once

#include <QByteArray>
#include <QMap>
#include <QObject>
#include <QStringList>
#include <QUrl>

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
        QByteArray lengthText {}; // the Content-Length header's text instead of the true length, true or not
        bool noLength = false; // no Content-Length header at all
        QByteArray location {}; // a Location header, for a redirection
        bool stallBeforeHeaders = false; // read the request, answer nothing, keep the connection open
        // As a web server that compresses on the fly: gzipped whatever was asked, sent chunked
        // without a length, the connection kept open for the next request.
        bool gzipChunked = false;
    };

    // With tls, it answers https with a certificate for 127.0.0.1 made for this run, which the
    // test process trusts from then on as if a certificate authority had signed it.
    explicit LoopbackServer(bool tls = false);
    ~LoopbackServer() override;

    // path like "/patch/_versions.txt"; a later call for the same path replaces the earlier answer.
    // Unknown paths answer "404 Not Found" with a short page, as a real server does.
    void serve(const QString &path, const Response &response) { m_responses.insert(path, response); }
    // urlPrefix like "/patch/": the files of the folder, nothing outside it.
    void serveFolder(const QString &urlPrefix, const QString &folder) { m_folders.insert(urlPrefix, folder); }

    QUrl url(const QString &path = QStringLiteral("/")) const; // http(s)://127.0.0.1:<port><path>
    // The request targets as received, in the order received.
    QStringList requestedPaths() const { return m_requested; }
    // The requests' header lines, in the order received.
    QList<QByteArray> requestHeads() const { return m_heads; }

    // The generated body's byte at index: deterministic, and varied so that misplaced pieces show.
    static char patternByte(qint64 index) { return char((index * 31 + (index >> 10)) % 251); }

private:
    struct Connection {
        QByteArray head;
        bool answered = false; // the request is in; what comes after it is not read
        Response response;
        qint64 bodySent = 0;
        qint64 bodySize = 0;
    };

    void accept();
    void readFrom(QTcpSocket *socket);
    void pump(QTcpSocket *socket);
    Response responseFor(const QString &path) const;

    QTcpServer *m_server = nullptr;
    bool m_tls = false;
    QMap<QString, Response> m_responses;
    QMap<QString, QString> m_folders; // URL prefix -> folder
    QStringList m_requested;
    QList<QByteArray> m_heads;
    QMap<QTcpSocket *, Connection> m_connections;
};
