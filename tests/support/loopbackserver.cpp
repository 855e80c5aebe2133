#include "loopbackserver.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <sys/socket.h>
#endif
#ifdef Q_OS_LINUX
#include <linux/sockios.h>
#include <sys/ioctl.h>
#endif

namespace {

// Small enough that a 64 MiB body never sits in memory, large enough that it flows quickly.
constexpr qint64 pieceSize = 64 * 1024;
constexpr qint64 highWater = 4 * pieceSize;
// A client that never ends its request head is broken; stop buffering it.
constexpr qsizetype longestHead = 64 * 1024;
// How long a reset waits for the client to have every byte sent before it.
constexpr qint64 resetPatienceMs = 2000;

QByteArray errorPage(const QByteArray &status)
{
    return "<html><head><title>" + status + "</title></head><body><h1>" + status + "</h1></body></html>\n";
}

LoopbackServer::Response errorResponse(const QByteArray &status)
{
    LoopbackServer::Response response;
    response.status = status;
    response.body = errorPage(status);
    response.headers.emplaceBack("Content-Type", "text/html");
    return response;
}

bool hasHeader(const LoopbackServer::Response &response, const QByteArray &name)
{
    return std::any_of(response.headers.cbegin(), response.headers.cend(),
        [&](const auto &header) { return header.first.compare(name, Qt::CaseInsensitive) == 0; });
}

// Bytes the kernel still holds for the peer; a reset would throw them away.
qint64 unsentBytes(QTcpSocket *socket)
{
#ifdef Q_OS_LINUX
    int pending = 0;
    if (ioctl(int(socket->socketDescriptor()), SIOCOUTQ, &pending) == 0)
        return pending;
#else
    Q_UNUSED(socket);
#endif
    return 0;
}

// Closing a socket that has nothing unread sends FIN; a zero linger turns the close into a reset.
void resetOnClose(QTcpSocket *socket)
{
#ifdef Q_OS_UNIX
    const linger value {1, 0};
    setsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &value, sizeof value);
#else
    Q_UNUSED(socket);
#endif
}

} // namespace

struct LoopbackServer::Connection {
    QByteArray incoming;
    qint64 requestBodyLeft = 0; // a request body to skip before the next request head
    bool keepAlive = true;
    bool responding = false;
    bool silent = false; // stalled or ending: later requests get no answer

    Response response;
    std::unique_ptr<QFile> file;
    qint64 bodySent = 0;
    qint64 bodyToSend = 0;
    bool whole = false; // the body went out whole and its length was true, so the connection can carry on
    bool closeAfter = false;
};

LoopbackServer::LoopbackServer(QObject *parent)
    : QObject(parent)
    , m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, &LoopbackServer::accept);
    if (!m_server->listen(QHostAddress::LocalHost, 0))
        qWarning("LoopbackServer: cannot listen on 127.0.0.1: %s", qPrintable(m_server->errorString()));
}

LoopbackServer::~LoopbackServer()
{
    // Deleting the sockets here, not as children later, keeps their last signals away from a half-destroyed server.
    auto connections = std::move(m_connections);
    for (auto &entry : connections) {
        QTcpSocket *socket = entry.first;
        socket->disconnect(this);
        socket->abort();
        delete socket;
    }
    m_server->close();
}

void LoopbackServer::serve(const QString &path, const Response &response)
{
    m_responses.insert(path, response);
}

void LoopbackServer::serveFolder(const QString &urlPrefix, const QString &folder)
{
    m_folders.insert(urlPrefix, folder);
}

QUrl LoopbackServer::url(const QString &path) const
{
    QUrl result;
    result.setScheme(QStringLiteral("http"));
    result.setHost(QStringLiteral("127.0.0.1"));
    result.setPort(port());
    const qsizetype query = path.indexOf(QLatin1Char('?'));
    result.setPath(query < 0 ? path : path.left(query));
    if (query >= 0)
        result.setQuery(path.mid(query + 1));
    return result;
}

quint16 LoopbackServer::port() const
{
    return m_server->serverPort();
}

QStringList LoopbackServer::requestedPaths() const
{
    return m_requested;
}

char LoopbackServer::patternByte(qint64 index)
{
    return char((index * 31 + (index >> 10)) % 251);
}

void LoopbackServer::accept()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        ++m_connectionCount;
        m_connections.emplace(socket, std::make_unique<Connection>());
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readFrom(socket); });
        connect(socket, &QTcpSocket::bytesWritten, this, [this, socket] { pump(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            forget(socket);
            socket->deleteLater();
        });
        if (socket->bytesAvailable() > 0)
            readFrom(socket);
    }
}

void LoopbackServer::readFrom(QTcpSocket *socket)
{
    const auto found = m_connections.find(socket);
    if (found == m_connections.end())
        return;
    Connection &connection = *found->second;
    const QByteArray data = socket->readAll();
    if (connection.silent)
        return;
    connection.incoming += data;
    answerNext(socket);
}

void LoopbackServer::answerNext(QTcpSocket *socket)
{
    const auto found = m_connections.find(socket);
    if (found == m_connections.end())
        return;
    Connection &connection = *found->second;
    if (connection.responding || connection.silent)
        return;

    const qint64 skipped = std::min<qint64>(connection.requestBodyLeft, connection.incoming.size());
    connection.incoming.remove(0, skipped);
    connection.requestBodyLeft -= skipped;
    if (connection.requestBodyLeft > 0)
        return;

    const qsizetype headEnd = connection.incoming.indexOf("\r\n\r\n");
    if (headEnd < 0) {
        if (connection.incoming.size() > longestHead) {
            forget(socket);
            socket->abort();
            socket->deleteLater();
        }
        return;
    }
    const QByteArray head = connection.incoming.left(headEnd);
    connection.incoming.remove(0, headEnd + 4);

    const QList<QByteArray> lines = head.split('\n');
    const QList<QByteArray> requestLine = lines.first().trimmed().split(' ');
    const bool wellFormed = requestLine.size() == 3 && requestLine.at(2).startsWith("HTTP/");
    const QByteArray method = wellFormed ? requestLine.at(0) : QByteArray();
    const QByteArray target = wellFormed ? requestLine.at(1) : QByteArray();
    bool keepAlive = wellFormed && requestLine.at(2) != "HTTP/1.0";
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray &line = lines.at(i);
        const qsizetype colon = line.indexOf(':');
        if (colon < 0)
            continue;
        const QByteArray name = line.left(colon).trimmed().toLower();
        const QByteArray value = line.mid(colon + 1).trimmed().toLower();
        if (name == "connection")
            keepAlive = value.contains("keep-alive") || (keepAlive && !value.contains("close"));
        else if (name == "content-length")
            connection.requestBodyLeft = std::max<qint64>(0, value.toLongLong());
    }
    connection.keepAlive = keepAlive;

    Response response;
    connection.file.reset();
    if (!wellFormed) {
        response = errorResponse("400 Bad Request");
        connection.keepAlive = false;
    } else {
        m_requested.append(QString::fromLatin1(target));
        if (method != "GET" && method != "HEAD")
            response = errorResponse("405 Method Not Allowed");
        else
            response = responseFor(target, connection.file);
    }
    if (response.stallBeforeHeaders) {
        connection.silent = true;
        return;
    }

    qint64 realSize = response.body.size();
    if (connection.file)
        realSize = connection.file->size();
    else if (response.generatedSize >= 0)
        realSize = response.generatedSize;

    connection.bodyToSend = response.sendLimit >= 0 ? std::min(response.sendLimit, realSize) : realSize;
    if (method == "HEAD")
        connection.bodyToSend = 0;
    const bool trueLength = response.declaredLength < 0 || response.declaredLength == realSize;
    connection.whole = response.length == Response::Length::Exact && trueLength
        && (connection.bodyToSend == realSize || method == "HEAD");
    // Without a usable length only the end of the connection tells the client where the body ends.
    connection.closeAfter = response.length != Response::Length::Exact || !connection.keepAlive;

    QByteArray header = "HTTP/1.1 " + response.status + "\r\n";
    if (!hasHeader(response, "Content-Type"))
        header += "Content-Type: application/octet-stream\r\n";
    switch (response.length) {
    case Response::Length::Exact:
        header += "Content-Length: "
            + QByteArray::number(response.declaredLength >= 0 ? response.declaredLength : realSize) + "\r\n";
        break;
    case Response::Length::Text: header += "Content-Length: " + response.lengthText + "\r\n"; break;
    case Response::Length::Absent: break;
    }
    if (connection.closeAfter && !hasHeader(response, "Connection"))
        header += "Connection: close\r\n";
    for (const auto &extra : std::as_const(response.headers))
        header += extra.first + ": " + extra.second + "\r\n";
    header += "\r\n";

    connection.response = std::move(response);
    connection.bodySent = 0;
    connection.responding = true;
    socket->write(header);
    pump(socket);
}

LoopbackServer::Response LoopbackServer::responseFor(const QByteArray &target, std::unique_ptr<QFile> &file) const
{
    const qsizetype query = target.indexOf('?');
    const QString path = QUrl::fromPercentEncoding(query < 0 ? target : target.left(query));

    const auto exact = m_responses.constFind(path);
    if (exact != m_responses.cend())
        return exact.value();

    QString prefix;
    for (auto folder = m_folders.cbegin(); folder != m_folders.cend(); ++folder) {
        if (path.startsWith(folder.key()) && folder.key().size() > prefix.size())
            prefix = folder.key();
    }
    if (prefix.isEmpty())
        return errorResponse("404 Not Found");

    const QString relative = path.mid(prefix.size());
    const QStringList parts = relative.split(QLatin1Char('/'));
    if (parts.contains(QStringLiteral("..")) || relative.contains(QLatin1Char('\\')))
        return errorResponse("403 Forbidden");
    const QString filePath = QDir(m_folders.value(prefix)).filePath(relative);
    if (relative.isEmpty() || !QFileInfo(filePath).isFile())
        return errorResponse("404 Not Found");
    auto opened = std::make_unique<QFile>(filePath);
    if (!opened->open(QIODevice::ReadOnly))
        return errorResponse("403 Forbidden");
    file = std::move(opened);
    return {};
}

void LoopbackServer::pump(QTcpSocket *socket)
{
    const auto found = m_connections.find(socket);
    if (found == m_connections.end())
        return;
    Connection &connection = *found->second;
    if (!connection.responding)
        return;

    while (connection.bodySent < connection.bodyToSend && socket->bytesToWrite() < highWater) {
        const qint64 size = std::min(pieceSize, connection.bodyToSend - connection.bodySent);
        QByteArray piece;
        if (connection.file) {
            piece = connection.file->read(size);
        } else if (connection.response.generatedSize >= 0) {
            piece.resize(size);
            for (qint64 i = 0; i < size; ++i)
                piece[i] = patternByte(connection.bodySent + i);
        } else {
            piece = connection.response.body.mid(connection.bodySent, size);
        }
        // A file that shrank while it was served cannot keep its promised length any more.
        if (piece.size() != size || socket->write(piece) != size) {
            forget(socket);
            socket->abort();
            socket->deleteLater();
            return;
        }
        connection.bodySent += size;
    }
    if (connection.bodySent == connection.bodyToSend && socket->bytesToWrite() == 0)
        finishResponse(socket);
}

void LoopbackServer::finishResponse(QTcpSocket *socket)
{
    Connection &connection = *m_connections.at(socket);
    connection.responding = false;
    connection.file.reset();
    switch (connection.response.ending) {
    case Response::Ending::Reset: resetWhenSent(socket); return;
    case Response::Ending::Stall: connection.silent = true; return;
    case Response::Ending::Close: break;
    }
    if (connection.whole && !connection.closeAfter) {
        answerNext(socket);
        return;
    }
    connection.silent = true;
    socket->disconnectFromHost();
}

void LoopbackServer::resetWhenSent(QTcpSocket *socket)
{
    m_connections.at(socket)->silent = true;
    auto resetNow = [this, socket] {
        forget(socket);
        resetOnClose(socket);
        socket->abort();
        socket->deleteLater();
    };
    if (unsentBytes(socket) == 0) {
        resetNow();
        return;
    }
    // The timer belongs to the socket, so it goes with it if the client leaves first.
    auto *timer = new QTimer(socket);
    timer->setInterval(5);
    QElapsedTimer waited;
    waited.start();
    connect(timer, &QTimer::timeout, socket, [socket, timer, waited, resetNow] {
        if (socket->state() != QAbstractSocket::ConnectedState) {
            timer->stop();
            return;
        }
        if (unsentBytes(socket) > 0 && waited.elapsed() < resetPatienceMs)
            return;
        timer->stop();
        resetNow();
    });
    timer->start();
}

void LoopbackServer::forget(QTcpSocket *socket)
{
    socket->disconnect(this);
    m_connections.erase(socket);
}
