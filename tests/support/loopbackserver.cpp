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

#include <zlib.h>

#include <linux/sockios.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

namespace {

// Small enough that a 64 MiB body never sits in memory, large enough that it flows quickly.
constexpr qint64 pieceSize = 64 * 1024;
constexpr qint64 highWater = 4 * pieceSize;
// How long a reset waits for the client to have every byte sent before it.
constexpr qint64 resetPatienceMs = 2000;

LoopbackServer::Response notFound()
{
    return {.status = "404 Not Found", .body = "<html><body><h1>404 Not Found</h1></body></html>\n"};
}

// Bytes the kernel still holds for the peer; a reset would throw them away.
qint64 unsentBytes(QTcpSocket *socket)
{
    int pending = 0;
    return ioctl(int(socket->socketDescriptor()), SIOCOUTQ, &pending) == 0 ? pending : 0;
}

// Closing a socket that has nothing unread sends FIN; a zero linger turns the close into a reset.
void resetOnClose(QTcpSocket *socket)
{
    const linger value {1, 0};
    setsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &value, sizeof value);
}

QByteArray gzipped(const QByteArray &bytes)
{
    z_stream stream {};
    deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY); // 16: gzip
    QByteArray out(qsizetype(deflateBound(&stream, uLong(bytes.size()))) + 32, Qt::Uninitialized);
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(bytes.constData()));
    stream.avail_in = uInt(bytes.size());
    stream.next_out = reinterpret_cast<Bytef *>(out.data());
    stream.avail_out = uInt(out.size());
    deflate(&stream, Z_FINISH);
    out.truncate(qsizetype(stream.total_out));
    deflateEnd(&stream);
    return out;
}

// Small chunks, so that a body spans several of them.
QByteArray chunked(const QByteArray &bytes)
{
    QByteArray out;
    for (qsizetype at = 0; at < bytes.size(); at += 100) {
        const QByteArray piece = bytes.mid(at, 100);
        out += QByteArray::number(piece.size(), 16) + "\r\n" + piece + "\r\n";
    }
    return out + "0\r\n\r\n";
}

} // namespace

struct LoopbackServer::Connection {
    QByteArray head;
    bool answered = false; // one request a connection: what comes after it is not read
    bool done = false; // nothing more to send
    Response response;
    std::unique_ptr<QFile> file;
    qint64 bodySent = 0;
    qint64 bodyToSend = 0;
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
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_server->serverPort()).arg(path));
}

char LoopbackServer::patternByte(qint64 index)
{
    return char((index * 31 + (index >> 10)) % 251);
}

void LoopbackServer::accept()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
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
    if (connection.answered)
        return;
    connection.head += data;
    if (!connection.head.contains("\r\n\r\n"))
        return;
    connection.answered = true;
    m_heads.append(connection.head);

    // "GET /patch/_versions.txt HTTP/1.1"
    const QByteArray target = connection.head.left(connection.head.indexOf('\n')).split(' ').value(1);
    m_requested.append(QString::fromLatin1(target));
    Response &response = connection.response = responseFor(QUrl::fromPercentEncoding(target), connection.file);
    connection.done = response.stallBeforeHeaders;
    if (connection.done)
        return;
    if (response.gzipChunked) {
        response.body = chunked(gzipped(connection.file ? connection.file->readAll() : response.body));
        connection.file.reset();
        response.length = Response::Length::Absent;
    }

    qint64 realSize = response.body.size();
    if (connection.file)
        realSize = connection.file->size();
    else if (response.generatedSize >= 0)
        realSize = response.generatedSize;
    connection.bodyToSend = response.sendLimit >= 0 ? std::min(response.sendLimit, realSize) : realSize;

    QByteArray header = "HTTP/1.1 " + response.status + "\r\nContent-Type: application/octet-stream\r\n";
    switch (response.length) {
    case Response::Length::Exact: header += "Content-Length: " + QByteArray::number(realSize) + "\r\n"; break;
    case Response::Length::Text: header += "Content-Length: " + response.lengthText + "\r\n"; break;
    case Response::Length::Absent: break;
    }
    if (response.gzipChunked)
        header += "Content-Encoding: gzip\r\nTransfer-Encoding: chunked\r\n";
    socket->write(header + (response.gzipChunked ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n"));
    pump(socket);
}

LoopbackServer::Response LoopbackServer::responseFor(const QString &path, std::unique_ptr<QFile> &file) const
{
    const auto exact = m_responses.constFind(path);
    if (exact != m_responses.cend())
        return exact.value();

    QString prefix;
    for (auto folder = m_folders.cbegin(); folder != m_folders.cend(); ++folder) {
        if (path.startsWith(folder.key()) && folder.key().size() > prefix.size())
            prefix = folder.key();
    }
    const QString relative = path.mid(prefix.size());
    if (prefix.isEmpty() || relative.split(QLatin1Char('/')).contains(QStringLiteral("..")))
        return notFound();
    auto opened = std::make_unique<QFile>(QDir(m_folders.value(prefix)).filePath(relative));
    if (!QFileInfo(opened->fileName()).isFile() || !opened->open(QIODevice::ReadOnly))
        return notFound();
    file = std::move(opened);
    return {};
}

void LoopbackServer::pump(QTcpSocket *socket)
{
    const auto found = m_connections.find(socket);
    if (found == m_connections.end() || !found->second->answered || found->second->done)
        return;
    Connection &connection = *found->second;

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
    if (connection.bodySent < connection.bodyToSend || socket->bytesToWrite() > 0)
        return;
    if (connection.response.gzipChunked) {
        // Open for the next request, as a web server keeps a connection alive.
        connection = Connection();
        return;
    }
    connection.done = true;
    if (connection.response.reset)
        resetWhenSent(socket);
    else
        socket->disconnectFromHost();
}

void LoopbackServer::resetWhenSent(QTcpSocket *socket)
{
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
