#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QObject>
#include <QPair>
#include <QStringList>
#include <QUrl>

#include <memory>
#include <unordered_map>

class QFile;
class QTcpServer;
class QTcpSocket;

// A scripted HTTP/1.1 server on 127.0.0.1 for tests: each path answers as the test says.
// It runs in the thread that made it, so it answers while the code under test spins its own event loop.
class LoopbackServer : public QObject {
    Q_OBJECT
public:
    struct Response {
        QByteArray status = "200 OK"; // the status line's code and reason
        QByteArray body; // sent as is unless generatedSize >= 0
        qint64 generatedSize = -1; // >= 0: a body of this many bytes of patternByte(i), made as the socket drains
        enum class Length { Exact, Absent, Text } length = Length::Exact;
        QByteArray lengthText; // the Content-Length header's text when length == Text
        qint64 declaredLength = -1; // >= 0: Content-Length says this instead of the real size (a body cut short)
        qint64 sendLimit = -1; // >= 0: only this many body bytes are sent, then `ending` happens
        // After a body sent whole with a true Content-Length, Close keeps the connection for the next request;
        // otherwise Close ends it gracefully, Reset aborts it so the client sees a reset, Stall keeps it silent.
        enum class Ending { Close, Reset, Stall } ending = Ending::Close;
        bool stallBeforeHeaders = false; // read the request, answer nothing, keep the connection open
        QList<QPair<QByteArray, QByteArray>> headers; // extra headers
    };

    explicit LoopbackServer(QObject *parent = nullptr);
    ~LoopbackServer() override;

    // path like "/patch/_versions.txt"; a later call for the same path replaces the earlier answer.
    void serve(const QString &path, const Response &response);
    // urlPrefix like "/patch/": the files of the folder with an exact Content-Length; missing files answer 404,
    // paths with ".." answer 403.
    void serveFolder(const QString &urlPrefix, const QString &folder);

    QUrl url(const QString &path = QStringLiteral("/")) const; // http://127.0.0.1:<port><path>
    quint16 port() const;
    // The request targets as received (query and percent-encoding kept), in the order received.
    QStringList requestedPaths() const;
    // How many connections the clients opened so far; shows whether a client reused one.
    int connectionCount() const { return m_connectionCount; }

    // The generated body's byte at index: deterministic, and varied so that misplaced pieces show.
    static char patternByte(qint64 index);

    // Unknown paths answer "404 Not Found" with a short HTML body and an exact Content-Length, like a real server.

private:
    struct Connection;

    void accept();
    void readFrom(QTcpSocket *socket);
    void answerNext(QTcpSocket *socket);
    void pump(QTcpSocket *socket);
    void finishResponse(QTcpSocket *socket);
    void resetWhenSent(QTcpSocket *socket);
    void forget(QTcpSocket *socket);
    Response responseFor(const QByteArray &target, std::unique_ptr<QFile> &file) const;

    QTcpServer *m_server = nullptr;
    QMap<QString, Response> m_responses;
    QMap<QString, QString> m_folders; // URL prefix -> folder
    QStringList m_requested;
    int m_connectionCount = 0;
    std::unordered_map<QTcpSocket *, std::unique_ptr<Connection>> m_connections;
};
