#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QUrl>

#include <memory>

class QNetworkAccessManager;
class QNetworkReply;

// The main window's transfer control: one HTTP GET at a time over Qt Network. It tells its
// progress in the classic control's state numbers, each from the reply signal that stands for it,
// and hands out the body as it arrives so that nothing holds a whole download in memory.
class Transfer : public QObject {
    Q_OBJECT
public:
    enum State : int {
        Resolving = 1,
        Resolved = 2,
        Connecting = 3,
        Connected = 4,
        Requesting = 5,
        RequestSent = 6,
        Receiving = 7,
        ResponseReceived = 8,
        Disconnecting = 9,
        Disconnected = 10,
        Error = 11,
        Completed = 12,
    };

    explicit Transfer(QObject *parent = nullptr);
    ~Transfer() override;

    // No data for this long ends the request.
    void setRequestTimeout(int milliseconds) { m_requestTimeoutMs = milliseconds; }
    void start(const QUrl &url);
    bool StillExecuting() const { return m_executing; }
    // The last request ended in a broken connection or protocol, not in an answer.
    bool failed() const { return m_failed; }
    // Ends a pending request; what has arrived stays readable.
    void cancel();
    // True once the final answer's headers are in.
    bool hasResponse() const { return m_hasResponse; }
    // A response header's value; empty when the answer has no such header.
    QByteArray GetHeader(const QByteArray &name) const;
    // The Content-Length as it counts what read() gives: empty when the answer has none, and when
    // the server compressed the body anyway (the header then counts the compressed bytes).
    QByteArray bodyLength() const;
    qint64 bytesAvailable() const;
    // The body as the server meant it: a gzip or deflate coding is undone here.
    QByteArray read(qint64 maxBytes);
    // False when a compressed body did not decode.
    bool bodyIntact() const;

signals:
    void StateChanged(int state);
    // The final answer's headers or some of its body are ready.
    void responseArrived();
    // The request has ended, well or not.
    void done();

private:
    void onMetaData();
    void onFinished();
    class Inflater;

    // Made at the first request: setting up Qt's network access was a noticeable part of every
    // start, which often downloads nothing.
    std::unique_ptr<QNetworkAccessManager> m_manager;
    QPointer<QNetworkReply> m_reply;
    std::unique_ptr<Inflater> m_inflater;
    int m_requestTimeoutMs = 60000;
    bool m_executing = false;
    bool m_hasResponse = false;
    bool m_failed = false;
};
