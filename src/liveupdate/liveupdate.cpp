// The transfers of the live update: downloading, its log, its time-out and its failure ending.
#include "liveupdate.h"

#include "common/basictext.h"
#include "common/errortrap.h"
#include "common/mainwindowhost.h"
#include "common/modmain.h"
#include "platform/connectionprobe.h"
#include "platform/dialogs.h"
#include "releasesignature.h"

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMetaMethod>
#include <QProgressBar>
#include <QPushButton>
#include <QStorageInfo>
#include <QTemporaryFile>
#include <QTimer>

#include <limits>

using modMain::uiText;
namespace rules = liveUpdateRules;

// One running download: the answer's length, what has arrived and the file it goes to.
struct LiveUpdate::Download {
    Download(const QString &target, qint64 limit)
        : target(target)
        , file(target + QStringLiteral(".XXXXXX"))
        , limit(limit)
    { }
    QString target;
    // Streamed: an answer without a length (chunked, or compressed by the server anyway), kept
    // when the transfer ends whole.
    enum class Length { Unknown, Streamed, NotANumber, Known } length = Length::Unknown;
    qint64 total = 0;
    qint64 received = 0;
    // A progress bar counts in int: long transfers are shown in coarser steps.
    int barShift = 0;
    // Beside the target, whose name it takes once the body is whole (modMain::putInPlace: a
    // QSaveFile would wait for the disk, after a large download a tenth of a second and more);
    // otherwise it goes.
    QTemporaryFile file;
    // Lists are small; more than this is no list, and is not kept.
    qint64 limit;
    // Why the answer was not kept, for the log; empty while it may be.
    QString refusal;
    void refuseAsTooLarge() { refusal = QStringLiteral("it is larger than %1 bytes").arg(limit); }
    // The message for a download that does not fit on the disk.
    QString noRoom;
    // The first bytes, to tell a web page from a list.
    QByteArray head;
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

void LiveUpdate::acceptTypedServers()
{
    for (QComboBox *box : {&c.cboPatchServer, &c.cboVexalServer}) {
        if (box->isEditable())
            continue;
        box->setEditable(true);
        box->setInsertPolicy(QComboBox::NoInsert);
        // Checked when the typing ends, not at every key.
        connect(box->lineEdit(), &QLineEdit::editingFinished, this, [this, box] { serverTyped(*box); });
    }
}

void LiveUpdate::setStatusLine(const QString &text)
{
    c.lblCap[8]->setText(text);
    emit statusLineChanged(text);
}

// The box's chosen entry, never text still being typed into it.
QString LiveUpdate::patchServer() const
{
    return c.cboPatchServer.itemText(c.cboPatchServer.currentIndex());
}

QString LiveUpdate::toolServer() const
{
    return c.cboVexalServer.itemText(c.cboVexalServer.currentIndex());
}

void chooseServer(QComboBox &box, const QString &address)
{
    int index = box.findText(address);
    if (index < 0) {
        box.addItem(address);
        index = box.count() - 1;
    }
    box.setCurrentIndex(index);
}

void LiveUpdate::serverTyped(QComboBox &box)
{
    const QString typed = box.currentText();
    if (box.currentIndex() >= 0 && typed == box.itemText(box.currentIndex()))
        return;
    const auto address = rules::mirrorAddress(typed);
    if (address) {
        chooseServer(box, *address);
        return;
    }
    box.setEditText(box.itemText(box.currentIndex()));
    m_services.dialogs.message(m_host.window(),
        {modMain::ProductName, QString(uiText(187)).replace(QLatin1String("#ADDRESS#"), typed),
            MessageIcon::Exclamation});
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
    Download download(TargetFile, IsUpdateList ? rules::ListSizeLimit : std::numeric_limits<qint64>::max());
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

    if (download.length == Download::Length::NotANumber)
        throw RuntimeError::of(errorNumber::TypeMismatch);
    if (download.writeError)
        throw *download.writeError;
    // A list that is a web page (a server's error or log-in page) would read as an empty list.
    if (download.refusal.isEmpty() && IsUpdateList && download.head.trimmed().startsWith('<'))
        download.refusal = QStringLiteral("the server sent a web page instead of the list");
    const bool whole = download.length == Download::Length::Known
        ? download.received >= download.total
        : download.length == Download::Length::Streamed && !m_intMain.failed() && m_intMain.bodyIntact();
    if (!download.refusal.isEmpty() || !whole) {
        // Cut short or refused: the file stays as it was, so nothing takes half a body for a whole
        // one (what arrived goes with `download`).
        downloadFailedEnding(IsUpdateList);
        if (!download.refusal.isEmpty())
            LiveUpdateEvent(QStringLiteral("%1 was not kept: %2.").arg(QUrl(FileURL).fileName(), download.refusal));
        if (!download.noRoom.isEmpty())
            m_services.dialogs.message(m_host.window(), {modMain::ProductName, download.noRoom, MessageIcon::Critical});
        return;
    }
    if (!modMain::putInPlace(download.file, download.target))
        throw RuntimeError::fromFile(download.file);
}

void LiveUpdate::startKeeping(Download &d)
{
    const QByteArray header = m_intMain.bodyLength();
    const auto total = rules::contentLength(header);
    c.tmrTimeout.stop();
    setStatusLine(uiText(84));
    if (!header.isEmpty() && !total) {
        d.length = Download::Length::NotANumber;
        return;
    }
    d.length = total ? Download::Length::Known : Download::Length::Streamed;
    d.total = total.value_or(0);
    if (d.total > d.limit) {
        d.refuseAsTooLarge();
        return m_intMain.cancel();
    }
    // Stopped before it starts, rather than at a full disk after minutes of waiting.
    const QString folder = QFileInfo(d.target).absolutePath();
    const qint64 free = QStorageInfo(folder).bytesAvailable();
    if (free >= 0 && d.total > free) {
        d.refusal = QStringLiteral("%1 bytes do not fit in the %2 bytes free in %3").arg(d.total).arg(free).arg(folder);
        d.noRoom = QString(uiText(185))
                       .replace(QLatin1String("#FOLDER#"), folder)
                       .replace(QLatin1String("#SIZE#"), QString::number((d.total + 1048575) / 1048576))
                       .replace(QLatin1String("#FREE#"), QString::number(free / 1048576));
        return m_intMain.cancel();
    }
    while ((d.total >> d.barShift) > std::numeric_limits<int>::max())
        ++d.barShift;
    c.pgbMain.setValue(0);
    // Without a length the bar only shows that something arrives.
    c.pgbMain.setMaximum(int(d.total >> d.barShift));
    c.pgbMain.setVisible(true);
    if (!d.file.open())
        d.writeError = RuntimeError::fromFile(d.file);
}

void LiveUpdate::receive(Download &d)
{
    if (d.length == Download::Length::Unknown) {
        if (!m_intMain.hasResponse())
            return;
        startKeeping(d);
    }
    const qint64 receivedBefore = d.received;
    while (m_intMain.bytesAvailable() > 0) {
        const QByteArray piece = m_intMain.read(64 * 1024);
        const bool keeping = (d.length == Download::Length::Known || d.length == Download::Length::Streamed)
            && !d.writeError && d.refusal.isEmpty();
        if (!keeping)
            continue; // nothing is kept of an answer without a usable length, or one refused
        const qint64 wanted
            = d.length == Download::Length::Known ? qMin<qint64>(piece.size(), d.total - d.received) : piece.size();
        if (d.received + wanted > d.limit) {
            d.refuseAsTooLarge();
            m_intMain.cancel();
            continue;
        }
        if (d.head.size() < 64)
            d.head += piece.left(64 - d.head.size());
        if (wanted > 0 && d.file.write(piece.constData(), wanted) != wanted) {
            d.writeError = RuntimeError::fromFile(d.file);
            m_intMain.cancel();
            continue;
        }
        d.received += wanted;
    }
    if (d.length != Download::Length::Known)
        return;
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
