// Downloads against servers on the loopback address: what is saved, shown and logged, and what a
// server, a mirror or a typed address cannot make the live update do.
#include "common/errortrap.h"
#include "info/frmwhatsnew.h"
#include "liveupdate/liveupdaterules.h"
#include "news/newsticker.h"
#include "updatefixture.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QProgressBar>
#include <QStorageInfo>
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

class DownloadTest : public QObject, UpdateFixture {
    Q_OBJECT

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
    // A news file of one record, as the news line shows it.
    QLabel &headline(const QStringList &record)
    {
        writeBytes(state().NewsTmpPath, (record + QStringList {"---", ""}).join('\n').toUtf8());
        window().news().UpdateNewsTicker();
        return *window().news().labels().first();
    }

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

    void cleanup() { reset(); }

    void answers_data()
    {
        QTest::addColumn<Response>("response");
        QTest::addColumn<bool>("isUpdateList");
        QTest::addColumn<int>("errorNumber"); // 0: none thrown
        QTest::addColumn<QByteArray>("file"); // what the target holds afterwards; the earlier file when null
        QTest::addColumn<QString>("logged"); // in the log's last lines
        QTest::addColumn<QString>("status");
        QTest::addColumn<bool>("told"); // a message box names the cache folder
        const QString fileFailure
            = QStringLiteral("Error while contacting server.\nFailed to download new product versions.");
        const QString tooLarge = QStringLiteral("file was not kept: it is larger than 1048576 bytes.");
        const QString webPage = QStringLiteral("file was not kept: the server sent a web page instead of the list.");
        const QByteArray page = "\n  <!DOCTYPE html><html><body>Log in to continue</body></html>\n";
        const qint64 free = QStorageInfo(QDir::tempPath()).bytesAvailable();
        const Response whole {.body = "[TTDP Alpha-Beta]\nversion=2.6\n"};
        const Response notFound {.status = "404 Not Found", .body = "<html><body>Not Found</body></html>"};
        const Response noLength {.body = "a body the program cannot measure", .noLength = true};
        const Response compressed {.body = Earlier + QByteArray(3000, 'x') + "\nend", .gzipChunked = true};
        const auto length = [](const QByteArray &text, const QByteArray &body = "hello") {
            return Response {.body = body, .lengthText = text};
        };
        const auto row = [](const char *tag, const Response &response, bool list, int error, const QByteArray &file,
                             const QString &logged, const QString &status, bool told = false) {
            QTest::newRow(tag) << response << list << error << file << logged << status << told;
        };
        // A whole transfer's log follows its connection.
        row("whole body", whole, true, 0, whole.body,
            "Looking up the IP address for the remote server...\nFound the IP address for the remote server.\n"
            "Connecting to server...\nConnected to the remote server.\nRequesting information from server...\n"
            "Downloading from the remote server...",
            Listing);
        row("empty body with a length", Response(), false, 0, "", {}, Listing);
        row("error status with a length is saved", notFound, false, 0, notFound.body, {}, Listing);
        row("no length: read to the end", noLength, false, 0, noLength.body, {}, Listing);
        row("compressed and chunked: read whole", compressed, true, 0, compressed.body, {}, Listing);
        row("body cut short", {.generatedSize = 5000, .lengthText = "9000"}, false, 0, {}, fileFailure, Unreachable);
        row("length that is no number", length("five"), true, 13, {}, {}, Listing);
        row("5 MB list", {.generatedSize = 5 << 20}, true, 0, {}, tooLarge, NoList);
        row("5 MB list without a length", {.generatedSize = 5 << 20, .noLength = true}, true, 0, {}, tooLarge, NoList);
        row("a web page instead of a list", {.body = page}, true, 0, {}, webPage, NoList);
        row("a web page, compressed and chunked", {.body = page, .gzipChunked = true}, true, 0, {}, webPage, NoList);
        row("a length beyond the free space", length(QByteArray::number(free + (2LL << 30)), "PK"), false, 0, {},
            "bytes free in", Unreachable, true);
    }

    void answers()
    {
        QFETCH(Response, response);
        QFETCH(bool, isUpdateList);
        QFETCH(QByteArray, file);
        QFETCH(QString, logged);
        QFETCH(QString, status);
        QFETCH(bool, told);
        const auto error = download(response, isUpdateList);
        QTEST(error ? error->number : 0, "errorNumber");
        QCOMPARE(live().DownloadFailed, file.isNull() && !error);
        QCOMPARE(readBytes(target()), file.isNull() ? Earlier : file);
        QVERIFY(QFileInfo(target()).permissions().testFlag(QFileDevice::ReadOther));
        const QStringList log = linesOf(*c().lstLiveupdate);
        QVERIFY2(log.join('\n').contains(logged), qPrintable(log.join('\n')));
        QCOMPARE(c().lstLiveupdate->currentRow(), log.size() - 1);
        if (!status.isEmpty())
            QCOMPARE(c().lblCap[8]->text(), status);
        QVERIFY(!c().tmrTimeout->isActive() && c().pgbMain->isHidden());
        const auto prompts = dialogs().takePrompts();
        QCOMPARE(prompts.size(), told ? 1 : 0);
        if (told)
            QVERIFY2(prompts[0].text.contains(QDir(state().TempPath).absolutePath()), qPrintable(prompts[0].text));
        // Nothing of a refused body is left beside the target either.
        QCOMPARE(QDir(state().TempPath).entryList({Target + QLatin1Char('*')}, QDir::Files), QStringList {Target});
        // Every request asked for the file as it is stored.
        for (const QByteArray &head : m_server->requestHeads())
            QVERIFY2(head.contains("\r\nAccept-Encoding: identity\r\n"), head.constData());
    }

    void aRefusedConnectionFails()
    {
        const QUrl closed = m_server->url(QStringLiteral("/x"));
        m_server.reset();
        live().DownloadFile(closed.toString(), target(), true);
        QVERIFY(live().DownloadFailed);
        QCOMPARE(linesOf(*c().lstLiveupdate), ListFailure);
    }

    // A server that moved to TLS sends plain requests on to https; nothing goes back from https to http.
    void redirects_data()
    {
        QTest::addColumn<bool>("fromTls");
        QTest::newRow("http to https") << false;
        QTest::newRow("https to http: refused") << true;
    }

    void redirects()
    {
        QFETCH(bool, fromTls);
        LoopbackServer tls(true);
        LoopbackServer &from = fromTls ? tls : *m_server, &to = fromTls ? *m_server : tls;
        const QByteArray moved = to.url(QStringLiteral("/patch/moved")).toEncoded(), list = "[TTDP Stable]\n";
        from.serve(
            QStringLiteral("/patch/file"), {.status = "301 Moved Permanently", .body = "moved", .location = moved});
        to.serve(QStringLiteral("/patch/moved"), {.body = list});
        live().DownloadFile(from.url(QStringLiteral("/patch/file")).toString(), target(), true);
        QCOMPARE(live().DownloadFailed, fromTls);
        QCOMPARE(readBytes(target()), fromTls ? Earlier : list);
        QCOMPARE(to.requestedPaths(), fromTls ? QStringList() : QStringList {"/patch/moved"});
    }

    // One text per full chunk that leaves bytes to read; a large body goes to the file as it arrives.
    void progressFollowsTheChunkRule_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<int>("texts");
        QTest::addColumn<QStringList>("last");
        QTest::newRow("1024") << qint64(1024) << 0 << QStringList {Listing};
        QTest::newRow("3000") << qint64(3000) << 2
                              << QStringList {"1 KB downloaded, 2 KB total  (34% done)",
                                     "2 KB downloaded, 2 KB total  (68% done)"};
        QTest::newRow("48 MB") << qint64(48 * 1024 * 1024 + 5) << 49152
                               << QStringList {"49152 KB downloaded, 49152 KB total  (99% done)"};
    }

    void progressFollowsTheChunkRule()
    {
        QFETCH(qint64, size);
        QFETCH(QStringList, last);
        const qint64 before = peakMemoryKb();
        QVERIFY(!download(Response {.generatedSize = size}, false));
        [[maybe_unused]] const qint64 growth = peakMemoryKb() - before;
        QVERIFY(!live().DownloadFailed);
        QTEST(int(m_statusLines.size()) - 1, "texts");
        QCOMPARE(m_statusLines.mid(m_statusLines.size() - last.size()), last);
        const QByteArray bytes = readBytes(target());
        QCOMPARE(bytes.size(), size);
        QCOMPARE(bytes.left(4096), pattern(std::min(size, qint64(4096))));
        QCOMPARE(bytes.at(size - 1), LoopbackServer::patternByte(size - 1));
        QCOMPARE(c().pgbMain->maximum(), int(size));
#if !defined(__SANITIZE_ADDRESS__) // which keeps freed memory in quarantine
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
        QTest::newRow("request sent twice, again after another line") << QList<int> {
            6, 6, 11, 6} << QStringList() << QStringList {sent, "An error occurred while contacting server.", sent};
        QTest::newRow("short texts") << QList<int>() << QStringList {" ab ", "   ", "abc", "  abcd "}
                                     << QStringList {"  abcd "};
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

    void serverTextsStayText()
    {
        const QString markup = QStringLiteral("<img src=\"file:///etc/passwd\"><b>2.6</b>");
        state().LatestAlpha = markup;
        frmWhatsNew whatsNew;
        whatsNew.show();
        c().lblCap[4]->setText(markup);
        for (QLabel *label : {c().lblCap[4], whatsNew.findChild<QLabel *>(QStringLiteral("lblMain")),
                 &headline({markup, "nodesc", "nolink"})}) {
            QVERIFY(label->text().contains(QLatin1String("<b>2.6</b>")));
            QCOMPARE(label->textFormat(), Qt::PlainText);
        }
    }

    void newsLinks_data()
    {
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("link");
        QTest::addColumn<bool>("opened");
        QTest::newRow("javascript:") << "nodesc"
                                     << "javascript:alert(1)" << false;
        QTest::newRow("a local path, after a description") << "Read this"
                                                           << "/home/me/.bashrc" << false;
        QTest::newRow("http, after a description") << "Read this"
                                                   << "http://example.org/news/2" << true;
    }

    void newsLinks()
    {
        QFETCH(QString, description);
        QFETCH(QString, link);
        QFETCH(bool, opened);
        QLabel &label = headline({"Headline", description, link});
        dialogs().queueAnswer(Answer::Ok);
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(2, 2), label.mapToGlobal(QPointF(2, 2)), Qt::LeftButton,
            Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&label, &press);
        const auto &calls = m_session->t.shell.calls;
        QCOMPARE(calls.size(), opened ? 1 : 0);
        if (opened)
            QCOMPARE(calls[0].target, link);
    }

    void typedMirrors_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("chosen"); // empty: refused
        QTest::newRow("ftp") << "ftp://ftp.example.org/ttdpatch/" << QString();
        QTest::newRow("no host") << "https:///ttdpatch/" << QString();
        QTest::newRow("final / added") << "  https://mirror.example.org/ttdpatch "
                                       << "https://mirror.example.org/ttdpatch/";
    }

    // Stored and shown again at the next start, unless refused.
    void typedMirrors()
    {
        QFETCH(QString, typed);
        QFETCH(QString, chosen);
        m_session.reset();
        TestServices t;
        ScopedEnvironment noServer(liveUpdateRules::PatchServerVariable, std::nullopt);
        {
            StartedProgram program(t);
            QComboBox &box = *program.main().controls().cboPatchServer;
            program.main().showTabStrip(int(MainWindowControls::SettingsPanel)); // the box takes typing from then on
            box.setCurrentIndex(1);
            const QString before = box.currentText();
            box.lineEdit()->setText(typed);
            emit box.lineEdit()->editingFinished();
            QCOMPARE(program.main().liveUpdate().patchServer(), chosen.isEmpty() ? before : chosen);
            QCOMPARE(box.currentText(), chosen.isEmpty() ? before : chosen);
            QCOMPARE(t.dialogs.takePrompts().size(), chosen.isEmpty() ? 1 : 0);
            QVERIFY(program.main().close());
        }
        t.reopenSettings();
        StartedProgram again(t);
        QCOMPARE(
            again.main().liveUpdate().patchServer(), chosen.isEmpty() ? liveUpdateRules::patchMirrors().at(1) : chosen);
    }

    void typedMirrorYieldsToTheCommandLine()
    {
        const QString given = m_server->url(QStringLiteral("/patch/")).toString();
        m_session.reset();
        TestServices t;
        t.presetSettings({{"PatchServerAddress", "https://mirror.example.org/ttdpatch/"}});
        StartedProgram program(t);
        QCOMPARE(program.main().liveUpdate().patchServer(), given);
    }
};

QTEST_MAIN(DownloadTest)
#include "tst_download.moc"
