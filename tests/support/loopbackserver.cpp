#include "loopbackserver.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QProcess>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <algorithm>

#include <zlib.h>

namespace {

// Small enough that a 64 MiB body never sits in memory, large enough that it flows quickly.
constexpr qint64 pieceSize = 64 * 1024;
constexpr qint64 highWater = 4 * pieceSize;

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

// Made once a run, so that every TLS server of the process shows the same certificate.
QSslConfiguration serverTls()
{
    static const QSslConfiguration configuration = [] {
        QTemporaryDir dir;
        const QString key = dir.filePath(QStringLiteral("key.pem")),
                      certificate = dir.filePath(QStringLiteral("c.pem"));
        QProcess::execute(QStringLiteral("openssl"),
            {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-days", "1",
                "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1", "-keyout", key, "-out",
                certificate});
        QFile keyFile(key);
        QSslConfiguration server = QSslConfiguration::defaultConfiguration();
        server.setLocalCertificateChain(QSslCertificate::fromPath(certificate));
        if (server.localCertificate().isNull() || !keyFile.open(QIODevice::ReadOnly))
            qWarning("LoopbackServer: openssl made no certificate");
        server.setPrivateKey(QSslKey(&keyFile, QSsl::Ec));
        QSslConfiguration client = QSslConfiguration::defaultConfiguration();
        client.addCaCertificate(server.localCertificate());
        QSslConfiguration::setDefaultConfiguration(client);
        return server;
    }();
    return configuration;
}

} // namespace

LoopbackServer::LoopbackServer(bool tls)
    : m_tls(tls)
{
    if (tls) {
        auto *server = new QSslServer(this);
        server->setSslConfiguration(serverTls());
        m_server = server;
    } else {
        m_server = new QTcpServer(this);
    }
    // A TLS server has a connection ready once its handshake is done.
    connect(m_server, &QTcpServer::pendingConnectionAvailable, this, &LoopbackServer::accept);
    if (!m_server->listen(QHostAddress::LocalHost, 0))
        qWarning("LoopbackServer: cannot listen on 127.0.0.1: %s", qPrintable(m_server->errorString()));
}

LoopbackServer::~LoopbackServer()
{
    // Deleting the sockets here, not as children later, keeps their last signals away from a half-destroyed server.
    const auto sockets = m_connections.keys();
    m_connections.clear();
    for (QTcpSocket *socket : sockets) {
        socket->disconnect(this);
        socket->abort();
        delete socket;
    }
    m_server->close();
}

QUrl LoopbackServer::url(const QString &path) const
{
    return QUrl(QStringLiteral("%1://127.0.0.1:%2%3")
                    .arg(m_tls ? QStringLiteral("https") : QStringLiteral("http"))
                    .arg(m_server->serverPort())
                    .arg(path));
}

void LoopbackServer::accept()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        m_connections.insert(socket, {});
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readFrom(socket); });
        connect(socket, &QTcpSocket::bytesWritten, this, [this, socket] { pump(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            socket->disconnect(this);
            m_connections.remove(socket);
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
    Connection &connection = *found;
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
    Response &response = connection.response = responseFor(QUrl::fromPercentEncoding(target));
    if (response.stallBeforeHeaders)
        return;
    if (response.gzipChunked) {
        response.body = chunked(gzipped(response.body));
        response.noLength = true;
    }
    connection.bodySize = response.generatedSize >= 0 ? response.generatedSize : response.body.size();

    QByteArray header = "HTTP/1.1 " + response.status + "\r\nContent-Type: application/octet-stream\r\n";
    if (!response.noLength)
        header += "Content-Length: "
            + (!response.lengthText.isEmpty() ? response.lengthText : QByteArray::number(connection.bodySize)) + "\r\n";
    if (!response.location.isEmpty())
        header += "Location: " + response.location + "\r\n";
    if (response.gzipChunked)
        header += "Content-Encoding: gzip\r\nTransfer-Encoding: chunked\r\n";
    socket->write(header + (response.gzipChunked ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n"));
    pump(socket);
}

LoopbackServer::Response LoopbackServer::responseFor(const QString &path) const
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
    QFile file(QDir(m_folders.value(prefix)).filePath(relative));
    if (!prefix.isEmpty() && !relative.split(QLatin1Char('/')).contains(QStringLiteral(".."))
        && QFileInfo(file).isFile() && file.open(QIODevice::ReadOnly))
        return {.body = file.readAll()};
    return {.status = "404 Not Found", .body = "<html><body><h1>404 Not Found</h1></body></html>\n"};
}

void LoopbackServer::pump(QTcpSocket *socket)
{
    const auto found = m_connections.find(socket);
    if (found == m_connections.end() || !found->answered || found->response.stallBeforeHeaders)
        return;
    Connection &connection = *found;
    const Response &response = connection.response;
    while (connection.bodySent < connection.bodySize && socket->bytesToWrite() < highWater) {
        const qint64 size = std::min(pieceSize, connection.bodySize - connection.bodySent);
        QByteArray piece = response.body.mid(connection.bodySent, size);
        if (response.generatedSize >= 0) {
            piece.resize(size);
            for (qint64 i = 0; i < size; ++i)
                piece[i] = patternByte(connection.bodySent + i);
        }
        socket->write(piece);
        connection.bodySent += size;
    }
    if (connection.bodySent < connection.bodySize || socket->bytesToWrite() > 0)
        return;
    if (response.gzipChunked)
        connection = Connection(); // open for the next request, as a web server keeps a connection alive
    else
        socket->disconnectFromHost();
}
