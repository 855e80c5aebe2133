#include "transfer.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

#include <zlib.h>

namespace {
// Enough that Qt's network thread seldom waits for this one (with 256 kB a fast download ran at
// half the speed of one read straight from the socket), small enough that a stalled reader holds
// little.
constexpr qint64 ReadBufferSize = 4 * 1024 * 1024;
} // namespace

// Undoes a gzip or zlib coding as the pieces arrive. Qt does this only for the answers to its own
// "gzip, deflate" offer, and the program offers none: a server that compresses all the same is
// still understood.
class Transfer::Inflater {
public:
    Inflater() { m_ok = inflateInit2(&m_stream, 15 + 32) == Z_OK; } // 32: gzip or zlib, by the header
    ~Inflater() { inflateEnd(&m_stream); }
    Inflater(const Inflater &) = delete;
    Inflater &operator=(const Inflater &) = delete;

    QByteArray inflate(const QByteArray &piece)
    {
        QByteArray out;
        if (!m_ok || m_ended)
            return out;
        m_stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(piece.constData()));
        m_stream.avail_in = uInt(piece.size());
        char buffer[64 * 1024];
        while (m_stream.avail_in > 0) {
            m_stream.next_out = reinterpret_cast<Bytef *>(buffer);
            m_stream.avail_out = sizeof buffer;
            const int result = ::inflate(&m_stream, Z_NO_FLUSH);
            out.append(buffer, qsizetype(sizeof buffer - m_stream.avail_out));
            if (result == Z_STREAM_END) {
                m_ended = true;
                break;
            }
            if (result != Z_OK) {
                m_ok = false;
                break;
            }
        }
        return out;
    }
    // A body that stopped before its compressed stream ended is not whole.
    bool complete() const { return m_ok && m_ended; }

private:
    z_stream m_stream {};
    bool m_ok = false;
    bool m_ended = false;
};

Transfer::Transfer(QObject *parent)
    : QObject(parent)
{ }

Transfer::~Transfer()
{
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
    }
}

void Transfer::start(const QUrl &url)
{
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
        m_reply->deleteLater();
    }
    m_hasResponse = false;
    m_failed = false;
    m_executing = true;
    m_inflater.reset();
    QNetworkRequest request(url);
    // Files are saved as sent, with their lengths, so a server is asked not to compress them.
    request.setRawHeader("Accept-Encoding", "identity");
    // From http to https within one host, as a web server moving to TLS answers; never back to http.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setTransferTimeout(m_requestTimeoutMs);
    // Files are always fetched afresh: a cached version file would hide a new release.
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    // Looking the host up is the first thing the request does.
    emit StateChanged(Resolving);
    if (!m_manager)
        m_manager = std::make_unique<QNetworkAccessManager>();
    m_reply = m_manager->get(request);
    m_reply->setReadBufferSize(ReadBufferSize);
    connect(m_reply, &QNetworkReply::socketStartedConnecting, this, [this] {
        // The address is known by the time a socket connects to it.
        emit StateChanged(Resolved);
        emit StateChanged(Connecting);
    });
    connect(m_reply, &QNetworkReply::requestSent, this, [this] {
        emit StateChanged(Connected);
        emit StateChanged(Requesting);
        emit StateChanged(RequestSent);
    });
    connect(m_reply, &QNetworkReply::metaDataChanged, this, &Transfer::onMetaData);
    connect(m_reply, &QNetworkReply::readyRead, this, [this] {
        m_hasResponse = true;
        emit responseArrived();
    });
    connect(m_reply, &QNetworkReply::finished, this, &Transfer::onFinished);
}

void Transfer::onMetaData()
{
    // A redirection's headers are not the answer; the reply follows it by itself.
    const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status >= 300 && status < 400 && m_reply->hasRawHeader("Location"))
        return;
    m_hasResponse = true;
    const QByteArray coding = m_reply->rawHeader("Content-Encoding").trimmed().toLower();
    if (!coding.isEmpty() && coding != "identity")
        m_inflater = std::make_unique<Inflater>();
    emit StateChanged(Receiving);
    emit responseArrived();
}

void Transfer::onFinished()
{
    if (!m_executing)
        return;
    // An error status is an answer like any other; only a broken connection or protocol fails.
    const QNetworkReply::NetworkError error = m_reply->error();
    const bool failed = error != QNetworkReply::NoError
        && (error < QNetworkReply::ContentAccessDenied || error == QNetworkReply::ProtocolFailure);
    if (m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid())
        m_hasResponse = true;
    m_executing = false;
    m_failed = failed;
    if (failed) {
        emit StateChanged(Error);
    } else {
        emit StateChanged(ResponseReceived);
        emit StateChanged(Completed);
    }
    emit done();
}

void Transfer::cancel()
{
    if (m_reply && m_executing)
        m_reply->abort();
}

QByteArray Transfer::GetHeader(const QByteArray &name) const
{
    return m_reply && m_hasResponse ? m_reply->rawHeader(name) : QByteArray();
}

QByteArray Transfer::bodyLength() const
{
    return m_inflater ? QByteArray() : GetHeader("Content-Length");
}

qint64 Transfer::bytesAvailable() const
{
    return m_reply ? m_reply->bytesAvailable() : 0;
}

QByteArray Transfer::read(qint64 maxBytes)
{
    if (!m_reply)
        return {};
    const QByteArray piece = m_reply->read(maxBytes);
    return m_inflater ? m_inflater->inflate(piece) : piece;
}

bool Transfer::bodyIntact() const
{
    // A coding other than gzip or deflate never decodes, so it is never whole either.
    return !m_inflater || m_inflater->complete();
}
