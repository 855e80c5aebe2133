// The transfers of the live update: downloading, its log, its time-out and its failure ending.
#include "liveupdate.h"

#include "common/basictext.h"
#include "common/errortrap.h"
#include "common/mainwindowhost.h"
#include "common/modmain.h"
#include "platform/connectionprobe.h"
#include "releasesignature.h"

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QListWidget>
#include <QMetaMethod>
#include <QProgressBar>
#include <QPushButton>
#include <QSaveFile>
#include <QTimer>

#include <limits>

using modMain::uiText;
namespace rules = liveUpdateRules;

// One running download: the answer's length, what has arrived and the file it goes to.
struct LiveUpdate::Download {
    explicit Download(const QString &target)
        : file(target)
    { }
    enum class Length { Unknown, Absent, NotANumber, Known } length = Length::Unknown;
    qint64 total = 0;
    qint64 received = 0;
    // A progress bar counts in int: long transfers are shown in coarser steps.
    int barShift = 0;
    QSaveFile file;
    std::optional<RuntimeError> writeError;
    // The last count the bar and the status line do not show yet, and since when they show theirs.
    std::optional<qint64> unshownCount;
    QElapsedTimer sinceShown;
};

namespace {
// The bar and the status line follow a download at a pace the eye can follow: painting them for
// every piece that arrives cost a fast download a fifth of its time.
constexpr qint64 ProgressPaceMs = 50;
} // namespace

LiveUpdate::LiveUpdate(Services &services, MainWindowHost &host, const LiveUpdateControls &controls, QObject *parent)
    : QObject(parent)
    , m_services(services)
    , m_host(host)
    , c(controls)
{
    ReleaseKey = releaseSignature::builtInKey();
    connect(&m_intMain, &Transfer::StateChanged, this, &LiveUpdate::intMain_StateChanged);
    connect(&c.tmrTimeout, &QTimer::timeout, this, &LiveUpdate::tmrTimeout_Timer);
    connect(&c.lstLiveupdate, &QListWidget::itemClicked, &c.lstLiveupdate, &QListWidget::clearSelection);
    connect(&c.cmdLU, &QPushButton::clicked, this, &LiveUpdate::cmdLU_Click);
    connect(&c.cmdGetStable, &QPushButton::clicked, this, &LiveUpdate::cmdGetStable_Click);
    connect(&c.cmdGetAlpha, &QPushButton::clicked, this, &LiveUpdate::cmdGetAlpha_Click);
    connect(&c.cmdDetails, &QPushButton::clicked, this, &LiveUpdate::cmdDetails_Click);
    connect(&c.chkUpdatePatch, &QCheckBox::clicked, this, &LiveUpdate::chkUpdatePatch_Click);
    connect(&c.chkUpdateVexal, &QCheckBox::clicked, this, &LiveUpdate::chkUpdateVexal_Click);
}

void LiveUpdate::setStatusLine(const QString &text)
{
    c.lblCap[8]->setText(text);
    emit statusLineChanged(text);
}

QString LiveUpdate::patchServer() const
{
    return c.cboPatchServer.currentText();
}

QString LiveUpdate::toolServer() const
{
    return c.cboVexalServer.currentText();
}

bool LiveUpdate::startRun(const QString &server)
{
    if (!m_services.probe.isConnected(QUrl(server))) {
        NoConnectionFound();
        return false;
    }
    m_host.DisableControls();
    CheckConnectionType();
    return true;
}

void LiveUpdate::DownloadFile(const QString &FileURL, const QString &TargetFile, bool IsUpdateList)
{
    Countdown = rules::CountdownStart;
    DownloadFailed = false;
    Download download(TargetFile);
    // The body is written as it arrives; the wait below is where it arrives.
    const auto arriving = connect(&m_intMain, &Transfer::responseArrived, this, [&] { receive(download); });
    QEventLoop wait;
    const auto ended = connect(&m_intMain, &Transfer::done, &wait, &QEventLoop::quit);
    m_intMain.start(QUrl(FileURL));
    if (IsUpdateList)
        c.tmrTimeout.start();
    if (m_intMain.StillExecuting())
        wait.exec();
    disconnect(arriving);
    disconnect(ended);
    receive(download);
    showProgress(download);
    c.pgbMain.setVisible(false);

    switch (download.length) {
    case Download::Length::Unknown:
    case Download::Length::Absent: downloadFailedEnding(IsUpdateList); return;
    case Download::Length::NotANumber: throw RuntimeError::of(errorNumber::TypeMismatch);
    case Download::Length::Known: break;
    }
    if (download.writeError)
        throw *download.writeError;
    if (download.received < download.total) {
        // Cut short: the file stays as it was, so nothing takes half a body for a whole one.
        downloadFailedEnding(IsUpdateList);
        return;
    }
    // Flushed first: commit() overlooks a failure of the last buffered write (a full disk).
    if (!download.file.flush() || !download.file.commit())
        throw RuntimeError::fromFile(download.file);
}

void LiveUpdate::receive(Download &d)
{
    if (d.length == Download::Length::Unknown) {
        if (!m_intMain.hasResponse())
            return;
        const QByteArray header = m_intMain.GetHeader("Content-Length");
        const auto total = rules::contentLength(header);
        if (header.isEmpty()) {
            d.length = Download::Length::Absent;
        } else {
            c.tmrTimeout.stop();
            setStatusLine(uiText(84));
            d.length = total ? Download::Length::Known : Download::Length::NotANumber;
        }
        if (d.length == Download::Length::Known) {
            d.total = *total;
            while ((d.total >> d.barShift) > std::numeric_limits<int>::max())
                ++d.barShift;
            c.pgbMain.setValue(0);
            c.pgbMain.setMaximum(int(d.total >> d.barShift));
            c.pgbMain.setVisible(true);
            if (!d.file.open(QIODevice::WriteOnly))
                d.writeError = RuntimeError::fromFile(d.file);
        }
    }
    const qint64 receivedBefore = d.received;
    while (m_intMain.bytesAvailable() > 0) {
        const QByteArray piece = m_intMain.read(64 * 1024);
        if (d.length != Download::Length::Known || d.writeError)
            continue; // nothing is kept of an answer without a usable length
        const qint64 wanted = qMin<qint64>(piece.size(), d.total - d.received);
        if (wanted > 0 && d.file.write(piece.constData(), wanted) != wanted) {
            d.writeError = RuntimeError::fromFile(d.file);
            m_intMain.cancel();
            continue;
        }
        d.received += wanted;
    }
    const QList<qint64> counts = rules::progressCountsBetween(receivedBefore, d.received, d.total);
    if (counts.isEmpty())
        return;
    // A text for every kilobyte cost more than the download itself, so only a listener to the
    // status line has them built; it hears every count.
    if (isSignalConnected(QMetaMethod::fromSignal(&LiveUpdate::statusLineChanged))) {
        for (const qint64 done : counts)
            emit statusLineChanged(rules::progressText(done, d.total));
    }
    d.unshownCount = counts.last();
    if (!d.sinceShown.isValid() || d.sinceShown.hasExpired(ProgressPaceMs))
        showProgress(d);
}

void LiveUpdate::showProgress(Download &d)
{
    if (!d.unshownCount)
        return;
    c.pgbMain.setValue(int(*d.unshownCount >> d.barShift));
    // The listeners have heard this text already.
    c.lblCap[8]->setText(rules::progressText(*d.unshownCount, d.total));
    d.unshownCount.reset();
    d.sinceShown.start();
}

void LiveUpdate::downloadFailedEnding(bool isUpdateList)
{
    NoConnectionFound();
    DownloadFailed = true;
    if (isUpdateList) {
        setStatusLine(uiText(88));
        LiveUpdateEvent(uiText(91));
    } else {
        setStatusLine(uiText(91));
        LiveUpdateEvent(uiText(90));
    }
}

void LiveUpdate::LiveUpdateEvent(const QString &Status)
{
    if (basicText::trimBlanks(Status).size() < 4)
        return;
    c.lstLiveupdate.addItem(Status);
    c.lstLiveupdate.setCurrentRow(c.lstLiveupdate.count() - 1);
    c.lstLiveupdate.scrollToBottom();
}

void LiveUpdate::NoConnectionFound()
{
    c.lstLiveupdate.clear();
    LiveUpdateEvent(QStringLiteral("Error while contacting server."));
    c.tmrTimeout.stop();
    setStatusLine(uiText(88));
    m_host.EnableControls();
}

void LiveUpdate::CheckConnectionType()
{
    LiveUpdateEvent(QStringLiteral("Connection to Internet was found."));
}

void LiveUpdate::intMain_StateChanged(int State)
{
    switch (State) {
    case Transfer::Resolving:
        DownloadFailed = false;
        LiveUpdateEvent(QStringLiteral("Looking up the IP address for the remote server..."));
        break;
    case Transfer::Resolved: LiveUpdateEvent(QStringLiteral("Found the IP address for the remote server.")); break;
    case Transfer::Connecting: LiveUpdateEvent(QStringLiteral("Connecting to server...")); break;
    case Transfer::Connected: LiveUpdateEvent(QStringLiteral("Connected to the remote server.")); break;
    case Transfer::Requesting: LiveUpdateEvent(QStringLiteral("Requesting information from server...")); break;
    case Transfer::RequestSent: {
        const QString text = QStringLiteral("Downloading from the remote server...");
        const int last = c.lstLiveupdate.count() - 1;
        if (last < 0 || c.lstLiveupdate.item(last)->text() != text)
            LiveUpdateEvent(text);
        break;
    }
    case Transfer::Disconnecting: LiveUpdateEvent(QStringLiteral("Disconnecting from the server...")); break;
    case Transfer::Disconnected: LiveUpdateEvent(QStringLiteral("Disconnected from the server.")); break;
    case Transfer::Error: LiveUpdateEvent(QStringLiteral("An error occurred while contacting server.")); break;
    default: break;
    }
}

void LiveUpdate::tmrTimeout_Timer()
{
    --Countdown;
    if (Countdown >= 2) {
        setStatusLine(rules::countdownText(ServerKind, Countdown));
        return;
    }
    NoConnectionFound();
    // A request that has kept the window waiting this long is given up rather than left running.
    m_intMain.cancel();
}

void FixTextFile(const QString &FileName)
{
    if (modMain::fileExists(FileName))
        modMain::writeWholeFile(FileName, rules::normalisedTextFile(modMain::readWholeFile(FileName)));
}
