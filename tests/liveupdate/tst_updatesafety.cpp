// What a server, a mirror or a typed address can make the live update do, and what it cannot.
#include "common/modmain.h"
#include "info/frmwhatsnew.h"
#include "liveupdate/liveupdate.h"
#include "liveupdate/liveupdaterules.h"
#include "news/newsticker.h"
#include "shell/frmmain.h"
#include "testsupport.h"
#include "zipbuilder.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QStorageInfo>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QtTest>

using modMain::state;
using Response = LoopbackServer::Response;
Q_DECLARE_METATYPE(Response)

namespace {

const QString Keys = QStringLiteral(VEXAL_DEMO_DIR "/../server/keys/");
const QString Target = QStringLiteral("list.tmp");
const QByteArray Earlier = "[TTDP Alpha-Beta]\nversion=earlier\n";

// A signature by the demo key, as server/build makes it.
QByteArray demoSignature(const QByteArray &message)
{
    QTemporaryFile file;
    if (!file.open())
        return {};
    file.write(message);
    file.close();
    QProcess openssl;
    openssl.start(QStringLiteral("openssl"),
        {"pkeyutl", "-sign", "-rawin", "-inkey", Keys + "demo-release.key", "-in", file.fileName()});
    openssl.waitForFinished();
    return openssl.readAllStandardOutput().toBase64();
}

// The public half of a key of the test's own, as a release build would have one.
QByteArray otherPublicKey()
{
    QProcess generate, extract;
    generate.setStandardOutputProcess(&extract);
    generate.start(QStringLiteral("openssl"), {"genpkey", "-algorithm", "ed25519"});
    extract.start(QStringLiteral("openssl"), {"pkey", "-pubout"});
    generate.waitForFinished();
    extract.waitForFinished();
    return extract.readAllStandardOutput();
}

QString lastLines(const QListWidget &list, int count)
{
    return linesOf(list).mid(list.count() - count).join(QLatin1Char('\n'));
}

} // namespace

class UpdateSafetyTest : public QObject {
    Q_OBJECT

    frmMain &window() { return m_session->main(); }
    LiveUpdate &live() { return window().liveUpdate(); }
    MainWindowControls &c() { return window().controls(); }
    ScriptedDialogs &dialogs() { return m_session->t.dialogs; }

    std::optional<UpdateServer> m_server;
    std::optional<GameSession> m_session;

private slots:
    void init()
    {
        m_server.emplace();
        m_session.emplace();
        m_session->open();
        dialogs().takePrompts();
        m_session->t.shell.calls.clear();
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
        QTest::addColumn<QString>("logged"); // in the log's last lines; empty when kept
        QTest::addColumn<bool>("told"); // a message box explains it
        const QString tooLarge = QStringLiteral("it is larger than 1048576 bytes");
        const QByteArray page = "\n  <!DOCTYPE html><html><body>Log in to continue</body></html>\n";
        const qint64 free = QStorageInfo(QDir::tempPath()).bytesAvailable();
        QTest::newRow("5 MB list") << Response {.generatedSize = 5 << 20} << true << tooLarge << false;
        QTest::newRow("5 MB list without a length")
            << Response {.generatedSize = 5 << 20, .length = Response::Length::Absent} << true << tooLarge << false;
        QTest::newRow("a web page instead of a list")
            << Response {.body = page} << true << QStringLiteral("a web page instead of the list") << false;
        QTest::newRow("a web page, compressed and chunked")
            << Response {.body = page, .gzipChunked = true} << true << QStringLiteral("a web page") << false;
        QTest::newRow("a length beyond the free space") << Response {.body = "PK",
            .length = Response::Length::Text,
            .lengthText = QByteArray::number(free + (2LL << 30))}
                                                        << false << QStringLiteral("bytes free in") << true;
        QTest::newRow("compressed and chunked: read whole")
            << Response {.body = Earlier + QByteArray(3000, 'x') + "\nend", .gzipChunked = true} << true << QString()
            << false;
    }

    void answers()
    {
        QFETCH(Response, response);
        QFETCH(bool, isUpdateList);
        QFETCH(QString, logged);
        QFETCH(bool, told);
        const QString target = state().TempPath + Target;
        writeBytes(target, Earlier);
        m_server->serve(QStringLiteral("/patch/file"), response);
        live().DownloadFile(m_server->url(QStringLiteral("/patch/file")).toString(), target, isUpdateList);

        QCOMPARE(live().DownloadFailed, !logged.isEmpty());
        if (logged.isEmpty()) {
            QCOMPARE(readBytes(target), response.body);
        } else {
            QCOMPARE(readBytes(target), Earlier);
            QVERIFY2(lastLines(*c().lstLiveupdate, 3).contains(logged), qPrintable(lastLines(*c().lstLiveupdate, 3)));
        }
        const auto prompts = dialogs().takePrompts();
        QCOMPARE(prompts.size(), told ? 1 : 0);
        if (told)
            QVERIFY2(prompts[0].text.contains(QDir(state().TempPath).absolutePath()), qPrintable(prompts[0].text));
        // Every request asked for the file as it is stored.
        for (const QByteArray &head : m_server->requestHeads())
            QVERIFY2(head.contains("\r\nAccept-Encoding: identity\r\n"), head.constData());
    }

    void releaseCheckThroughACompressingServer()
    {
        // The sample server's list, as a web server with compression on sends it.
        m_server->serve(QStringLiteral("/patch/_versions.txt"),
            {.body = readBytes(VEXAL_DEMO_DIR "/../server/patch/_versions.txt"), .gzipChunked = true});
        window().showTabStrip(2);
        dialogs().queueAnswer(Answer::No); // the announced alpha is not installed now
        live().cmdLU_Click();
        QCOMPARE(titlesOf(dialogs().takePrompts()), QStringList {"AutoUpdate: TTDPatch"});
        QCOMPARE(state().LatestAlpha, QStringLiteral("2.6 alpha 1 r2402"));
        QCOMPARE(state().LatestStable, QStringLiteral("TTDPatch 2.5 beta 10"));
        QVERIFY(state().AlphaDescription.contains(QLatin1String("level crossing")));
    }

    void realWebServer()
    {
        // lighttpd as Debian ships it, with its compression module on, serving a patch server.
        const QString lighttpd = QStringLiteral("/usr/sbin/lighttpd");
        if (!QFileInfo(lighttpd).isExecutable())
            QSKIP("lighttpd is not installed (scripts/setup installs it)");
        QTemporaryDir served;
        QDir(served.path()).mkpath(QStringLiteral("patch/nightly"));
        QVERIFY(QFile::copy(VEXAL_DEMO_DIR "/../server/patch/_versions.txt", served.filePath("patch/_versions.txt")));
        const QByteArray patch = portableExecutable() + QByteArray(200000, 'p');
        QVERIFY(buildZip(served.filePath("patch/nightly/ttdpatchw-r2402.zip"), {{"ttdpatchw.exe", patch}}));
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        const quint16 port = probe.serverPort();
        probe.close();
        writeBytes(served.filePath("lighttpd.conf"),
            QStringLiteral("server.document-root = \"%1\"\nserver.bind = \"127.0.0.1\"\nserver.port = %2\n"
                           "server.errorlog = \"%1/error.log\"\nserver.modules += (\"mod_deflate\")\n"
                           "deflate.mimetypes = (\"text/\")\nmimetype.assign = (\".txt\" => \"text/plain\")\n")
                .arg(served.path())
                .arg(port)
                .toUtf8());
        RunningProcess server(lighttpd, {"-D", "-f", served.filePath("lighttpd.conf")});
        QTRY_VERIFY_WITH_TIMEOUT(
            [port] {
                QTcpSocket socket;
                socket.connectToHost(QHostAddress::LocalHost, port);
                return socket.waitForConnected(200);
            }(),
            10000);

        m_session.reset();
        ScopedEnvironment mirror(
            liveUpdateRules::PatchServerVariable, QStringLiteral("http://127.0.0.1:%1/patch/").arg(port).toUtf8());
        m_session.emplace();
        m_session->open();
        dialogs().takePrompts();
        window().showTabStrip(2);
        dialogs().queueAnswer(Answer::Yes); // install the announced alpha
        dialogs().queueAnswer(Answer::No); // without its switches
        live().cmdLU_Click();
        QCOMPARE(titlesOf(dialogs().takePrompts()), QStringList({"AutoUpdate: TTDPatch", "Vexal Pro", "Vexal Pro"}));
        QCOMPARE(state().LatestAlpha, QStringLiteral("2.6 alpha 1 r2402"));
        QCOMPARE(readBytes(m_session->folder + "ttdpatchw.exe"), patch);
    }

    void serverTextsStayText()
    {
        const QString markup = QStringLiteral("<img src=\"file:///etc/passwd\"><b>2.6</b>");
        state().LatestAlpha = markup;
        frmWhatsNew whatsNew;
        whatsNew.show();
        QList<QLabel *> labels {c().lblCap[4], whatsNew.findChild<QLabel *>(QStringLiteral("lblMain"))};
        QWidget picNews;
        QTimer tmrNews;
        QCheckBox chkTicker;
        NewsTicker ticker {*m_session->t.services, {picNews, tmrNews, chkTicker}};
        writeBytes(state().NewsTmpPath, markup.toUtf8() + "\nnodesc\nnolink\n---\n");
        ticker.UpdateNewsTicker();
        labels.append(ticker.labels().first());
        c().lblCap[4]->setText(markup);
        for (QLabel *label : labels) {
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
        QTest::newRow("file:") << "nodesc"
                               << "file:///etc/passwd" << false;
        QTest::newRow("a local path, after a description") << "Read this"
                                                           << "/home/me/.bashrc" << false;
        QTest::newRow("https") << "nodesc"
                               << "https://example.org/news/1" << true;
        QTest::newRow("http, after a description") << "Read this"
                                                   << "http://example.org/news/2" << true;
    }

    void newsLinks()
    {
        QFETCH(QString, description);
        QFETCH(QString, link);
        QFETCH(bool, opened);
        QWidget picNews;
        QTimer tmrNews;
        QCheckBox chkTicker;
        NewsTicker ticker {*m_session->t.services, {picNews, tmrNews, chkTicker}};
        writeBytes(state().NewsTmpPath, QStringList {"Headline", description, link, "---", ""}.join('\n').toUtf8());
        ticker.UpdateNewsTicker();
        dialogs().queueAnswer(Answer::Ok);
        QLabel &headline = *ticker.labels().first();
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(2, 2), headline.mapToGlobal(QPointF(2, 2)), Qt::LeftButton,
            Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&headline, &press);
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
        QTest::newRow("file") << "file:///home/me/mirror/" << QString();
        QTest::newRow("javascript") << "javascript:alert(1)" << QString();
        QTest::newRow("no host") << "https:///ttdpatch/" << QString();
        QTest::newRow("final / added") << "  https://mirror.example.org/ttdpatch "
                                       << "https://mirror.example.org/ttdpatch/";
        QTest::newRow("http with a port") << "http://127.0.0.1:8080/patch/"
                                          << "http://127.0.0.1:8080/patch/";
    }

    void typedMirrors()
    {
        QFETCH(QString, typed);
        QFETCH(QString, chosen);
        TestServices t;
        ScopedEnvironment noServer(liveUpdateRules::PatchServerVariable, std::nullopt);
        {
            StartedProgram program(t);
            QComboBox &box = *program.main().controls().cboPatchServer;
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

    void selfUpdates_data()
    {
        QTest::addColumn<QByteArray>("releaseKey");
        QTest::addColumn<QByteArray>("listed");
        QTest::addColumn<QByteArray>("signedAs");
        QTest::addColumn<QString>("outcome"); // the last prompt's start, or "started"
        const QByteArray demo = readBytes(Keys + "demo-release.pub");
        QTest::newRow("a test build trusts the demo key")
            << demo << QByteArray("1.2.6") << QByteArray("1.2.6") << "started";
        QTest::newRow("an older signed build under a newer version")
            << demo << QByteArray("1.3.0") << QByteArray("1.2.6") << "The downloaded file updater";
        QTest::newRow("a release build refuses the demo key")
            << otherPublicKey() << QByteArray("1.2.6") << QByteArray("1.2.6") << "The downloaded file updater";
        QTest::newRow("a release build without a key offers nothing")
            << QByteArray() << QByteArray("1.2.6") << QByteArray("1.2.6")
            << "Vexal Pro 1.2.6 is available. This copy is updated by your package manager";
    }

    void selfUpdates()
    {
        QFETCH(QByteArray, releaseKey);
        QFETCH(QByteArray, listed);
        QFETCH(QByteArray, signedAs);
        QFETCH(QString, outcome);
        const QByteArray updater = portableExecutable(), program = "#!/bin/sh\necho next\n";
        const auto signature
            = [&](const QByteArray &file) { return demoSignature("vexalpro " + signedAs + "\n" + file); };
        m_server->serve(QStringLiteral("/tool/1vexalup.txt"),
            {.body = "[VexalP]\nversion=" + listed + "\ndate=June 2, 2012\nupdatersig=" + signature(updater)
                    + "\nexesig=" + signature(program) + "\n"});
        m_server->serve(QStringLiteral("/tool/news.txt"), {.body = "News\nnodesc\nnolink\n---\n"});
        m_server->serve(QStringLiteral("/tool/files/updater.exe"), {.body = updater});
        m_server->serve(QStringLiteral("/tool/files/vexalpro.exe"), {.body = program});
        live().ReleaseKey = releaseKey;
        state().FilesModified = false;
        dialogs().queueAnswer(Answer::Yes); // take the update where one is offered
        live().mnuCheckVexal_Click();

        const auto prompts = dialogs().takePrompts();
        const auto &calls = m_session->t.shell.calls;
        const bool started = !calls.isEmpty() && calls.last().target == state().UpdaterPath;
        QCOMPARE(started, outcome == QLatin1String("started"));
        if (!started)
            QVERIFY2(!prompts.isEmpty() && prompts.last().text.startsWith(outcome), qPrintable(prompts.last().text));
        // Nothing of a refused update stays where it could be started.
        QCOMPARE(QFile::exists(state().UpdaterPath), started);
        if (releaseKey.isEmpty())
            QVERIFY(!m_server->requestedPaths().contains(QStringLiteral("/tool/files/updater.exe")));
    }
};

QTEST_MAIN(UpdateSafetyTest)
#include "tst_updatesafety.moc"
