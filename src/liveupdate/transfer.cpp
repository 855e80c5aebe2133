#include "transfer.h"

#include <QNetworkReply>
#include <QNetworkRequest>

namespace {
// Enough that Qt's network thread seldom waits for this one (with 256 kB a fast download ran at
// half the speed of one read straight from the socket), small enough that a stalled reader holds
// little.
constexpr qint64 ReadBufferSize = 4 * 1024 * 1024;
} // namespace

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
    m_executing = true;
    QNetworkRequest request(url);
    request.setTransferTimeout(m_requestTimeoutMs);
    // Files are always fetched afresh: a cached version file would hide a new release.
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    // Looking the host up is the first thing the request does.
    emit StateChanged(Resolving);
    m_reply = m_manager.get(request);
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

qint64 Transfer::bytesAvailable() const
{
    return m_reply ? m_reply->bytesAvailable() : 0;
}

QByteArray Transfer::read(qint64 maxBytes)
{
    return m_reply ? m_reply->read(maxBytes) : QByteArray();
}
