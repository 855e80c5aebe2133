// Downloads against a server on the loopback address: what is saved, what is shown, what is logged.
#include "common/errortrap.h"
#include "common/modmain.h"
#include "liveupdate/liveupdate.h"
#include "shell/frmmain.h"
#include "testsupport.h"

#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QTimer>
#include <QtTest>

#include <optional>

using modMain::state;
using Response = LoopbackServer::Response;
Q_DECLARE_METATYPE(Response)

namespace {

QByteArray pattern(qint64 size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qint64 i = 0; i < size; ++i)
        bytes[i] = LoopbackServer::patternByte(i);
    return bytes;
}

// Peak resident memory of this process, in kB.
qint64 peakMemoryKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    const QByteArray text = status.open(QIODevice::ReadOnly) ? status.readAll() : QByteArray();
    const qsizetype at = text.indexOf("VmHWM:");
    return at < 0 ? -1 : text.mid(at + 6).trimmed().split(' ').value(0).toLongLong();
}

const QString Target = QStringLiteral("ttdpupd.tmp");
const QByteArray Earlier = "an earlier, whole version file";
const QString Listing = QStringLiteral("Getting list of updates...");
const QString NoList = QStringLiteral("Unable to download list of updates.");
const QString Unreachable = QStringLiteral("Files missing in server, or server is unreachable.");
const QStringList ListFailure {"Error while contacting server.", Unreachable};

} // namespace

class DownloadTest : public QObject {
    Q_OBJECT

    LiveUpdate &live() { return m_session->main().liveUpdate(); }
    MainWindowControls &c() { return m_session->main().controls(); }
    QString target() const { return state().TempPath + Target; }
    // Serves `response` and downloads it; the error it threw, if any.
    std::optional<RuntimeError> download(const Response &response, bool isUpdateList)
    {
        m_server->serve(QStringLiteral("/patch/file"), response);
        try {
            live().DownloadFile(m_server->url(QStringLiteral("/patch/file")).toString(), target(), isUpdateList);
        } catch (const RuntimeError &error) {
            return error;
        }
        return std::nullopt;
    }

    std::optional<UpdateServer> m_server;
    std::optional<GameSession> m_session;
    QStringList m_statusLines;

private slots:
    void init()
    {
        m_server.emplace();
        m_session.emplace().main();
        m_statusLines.clear();
        connect(&live(), &LiveUpdate::statusLineChanged, this, [this](const QString &s) { m_statusLines.append(s); });
        writeBytes(target(), Earlier);
    }

    void cleanup()
    {
        m_session.reset();
        m_server.reset();
    }

    void answers_data()
    {
        QTest::addColumn<Response>("response");
        QTest::addColumn<bool>("isUpdateList");
        QTest::addColumn<int>("errorNumber"); // 0: none thrown
        QTest::addColumn<QByteArray>("file"); // what the target holds afterwards; the earlier file when null
        QTest::addColumn<QStringList>("logEnd"); // failed when not empty
        QTest::addColumn<QString>("status");
        const QStringList fileFailure {"Error while contacting server.", "Failed to download new product versions."};
        const Response whole {.body = "[TTDP Alpha-Beta]\nversion=2.6\n"};
        const Response notFound {.status = "404 Not Found", .body = "<html><body>Not Found</body></html>"};
        const Response noLength {.body = "a body the program cannot measure", .length = Response::Length::Absent};
        const auto lengthText = [](const QByteArray &text) {
            return Response {.body = "hello", .length = Response::Length::Text, .lengthText = text};
        };
        const auto row = [](const char *tag, const Response &response, bool list, int error, const QByteArray &file,
                             const QStringList &logEnd, const QString &status) {
            QTest::newRow(tag) << response << list << error << file << logEnd << status;
        };
        row("whole body", whole, true, 0, whole.body, {}, Listing);
        row("empty body with a length", Response(), false, 0, "", {}, Listing);
        row("error status with a length is saved", notFound, false, 0, notFound.body, {}, Listing);
        row("no length: read to the end", noLength, false, 0, noLength.body, {}, Listing);
        row("body cut short", {.generatedSize = 5000, .length = Response::Length::Text, .lengthText = "9000"}, false, 0,
            {}, fileFailure, Unreachable);
        row("reset mid-body", {.generatedSize = 8000, .sendLimit = 3000, .reset = true}, true, 0, {}, ListFailure,
            NoList);
        row("length that is no number", lengthText("five"), true, 13, {}, {}, Listing);
        row("negative length", lengthText("-5"), false, 13, {}, {}, QString());
    }

    void answers()
    {
        QFETCH(Response, response);
        QFETCH(bool, isUpdateList);
        QFETCH(QByteArray, file);
        QFETCH(QStringList, logEnd);
        QFETCH(QString, status);
        const auto error = download(response, isUpdateList);
        QTEST(error ? error->number : 0, "errorNumber");
        QCOMPARE(live().DownloadFailed, !logEnd.isEmpty());
        QCOMPARE(readBytes(target()), file.isNull() ? Earlier : file);
        // A whole transfer's log follows its connection.
        const QStringList log = linesOf(*c().lstLiveupdate);
        if (QTest::currentDataTag() == QLatin1String("whole body"))
            logEnd = QStringList {"Looking up the IP address for the remote server...",
                "Found the IP address for the remote server.", "Connecting to server...",
                "Connected to the remote server.", "Requesting information from server...",
                "Downloading from the remote server..."};
        QCOMPARE(log.mid(log.size() - logEnd.size()), logEnd);
        QCOMPARE(c().lstLiveupdate->currentRow(), log.size() - 1);
        if (!status.isEmpty())
            QCOMPARE(c().lblCap[8]->text(), status);
        QVERIFY(!c().tmrTimeout->isActive() && c().pgbMain->isHidden());
        // Nothing of a refused body is left beside the target either.
        QCOMPARE(QDir(state().TempPath).entryList({Target + QLatin1Char('*')}, QDir::Files), QStringList {Target});
    }

    void aRefusedConnectionFails()
    {
        const QUrl closed = m_server->url(QStringLiteral("/x"));
        m_server.reset();
        live().DownloadFile(closed.toString(), target(), true);
        QVERIFY(live().DownloadFailed);
        QCOMPARE(linesOf(*c().lstLiveupdate), ListFailure);
    }

    void progressFollowsTheChunkRule_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<QStringList>("texts");
        QTest::newRow("1023") << qint64(1023) << QStringList {};
        QTest::newRow("1024") << qint64(1024) << QStringList {};
        QTest::newRow("1025") << qint64(1025) << QStringList {"1 KB downloaded, 1 KB total  (99% done)"};
        QTest::newRow("2048") << qint64(2048) << QStringList {"1 KB downloaded, 2 KB total  (50% done)"};
        QTest::newRow("3000") << qint64(
            3000) << QStringList {"1 KB downloaded, 2 KB total  (34% done)", "2 KB downloaded, 2 KB total  (68% done)"};
    }

    void progressFollowsTheChunkRule()
    {
        QFETCH(qint64, size);
        QFETCH(QStringList, texts);
        QVERIFY(!download(Response {.generatedSize = size}, false));
        QVERIFY(!live().DownloadFailed);
        QCOMPARE(m_statusLines, QStringList {Listing} + texts);
        QCOMPARE(readBytes(target()), pattern(size));
    }

    void aLargeBodyIsStreamedWithFlatMemory()
    {
        constexpr qint64 Size = 48 * 1024 * 1024 + 5;
        const qint64 before = peakMemoryKb();
        QVERIFY(!download(Response {.generatedSize = Size}, false));
        const qint64 growth = peakMemoryKb() - before;
        QVERIFY(!live().DownloadFailed);
        const QByteArray bytes = readBytes(target());
        QCOMPARE(bytes.size(), Size);
        QCOMPARE(bytes.left(4096), pattern(4096));
        QCOMPARE(bytes.at(Size - 1), LoopbackServer::patternByte(Size - 1));
        // One text per full chunk that leaves bytes to read, the last of them at 49152 KB.
        QCOMPARE(m_statusLines.size(), 1 + int(Size / 1024));
        QCOMPARE(m_statusLines.last(), QStringLiteral("49152 KB downloaded, 49152 KB total  (99% done)"));
        QCOMPARE(c().pgbMain->maximum(), int(Size));
#if defined(__SANITIZE_ADDRESS__)
        Q_UNUSED(growth)
        QSKIP("AddressSanitizer keeps freed memory in quarantine; the peak says nothing here");
#else
        QVERIFY2(growth < 24 * 1024, qPrintable(QStringLiteral("peak memory grew by %1 kB").arg(growth)));
#endif
    }

    void aStalledServerCountsDownAndGivesUp()
    {
        live().ServerKind = liveUpdateRules::ServerKind::Patch;
        c().tmrTimeout->setInterval(5); // the countdown's texts and ending, not its pace, are under test
        QVERIFY(!download({.stallBeforeHeaders = true}, true));
        QStringList countdown;
        for (int n = 29; n >= 2; --n)
            countdown.append(QStringLiteral("Connecting to TTDPatch server... (%1)").arg(n));
        // The 29th tick reports; the request is then given up and fails like one without a length.
        QCOMPARE(m_statusLines, countdown + QStringList(3, NoList));
        QVERIFY(live().DownloadFailed && state().ControlsEnabled);
        QCOMPARE(live().Countdown, 1);
        QCOMPARE(linesOf(*c().lstLiveupdate), ListFailure);
        QCOMPARE(readBytes(target()), Earlier);

        // English names no server; the other languages' texts carry a placeholder for it.
        m_statusLines.clear();
        state().UiText[83] = QStringLiteral("Conectando con el servidor de #TTDPATCH#...");
        for (auto kind : {liveUpdateRules::ServerKind::Tool, liveUpdateRules::ServerKind::Patch}) {
            live().ServerKind = kind;
            live().Countdown = 30;
            live().tmrTimeout_Timer();
        }
        QCOMPARE(m_statusLines,
            QStringList(
                {"Conectando con el servidor de Vexal... (29)", "Conectando con el servidor de TTDPatch... (29)"}));
    }

    // Connection states and texts as they reach the log.
    void theLogSkipsShortTextsAndRepeatedRequestLines_data()
    {
        QTest::addColumn<QList<int>>("states");
        QTest::addColumn<QStringList>("events");
        QTest::addColumn<QStringList>("log");
        const QString sent = QStringLiteral("Downloading from the remote server...");
        using Ints = QList<int>;
        QTest::newRow("request sent twice") << Ints {6, 6} << QStringList() << QStringList {sent};
        QTest::newRow("sent again after another line") << Ints {
            6, 11, 6} << QStringList() << QStringList {sent, "An error occurred while contacting server.", sent};
        QTest::newRow("silent states") << Ints {7, 8, 12, 0, 13} << QStringList() << QStringList();
        QTest::newRow("disconnecting") << Ints {9,
            10} << QStringList() << QStringList {"Disconnecting from the server...", "Disconnected from the server."};
        QTest::newRow("short texts") << Ints() << QStringList {" ab ", "   ", "abc", "Done."} << QStringList {"Done."};
        QTest::newRow("untrimmed when long enough") << Ints() << QStringList {"  abcd "} << QStringList {"  abcd "};
    }

    void theLogSkipsShortTextsAndRepeatedRequestLines()
    {
        QFETCH(QList<int>, states);
        QFETCH(QStringList, events);
        for (const QString &event : events)
            live().LiveUpdateEvent(event);
        for (int s : states)
            live().intMain_StateChanged(s);
        QTEST(linesOf(*c().lstLiveupdate), "log");
    }
};

QTEST_MAIN(DownloadTest)
#include "tst_download.moc"
