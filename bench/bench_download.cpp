// Downloading a 200 MB file from a server on 127.0.0.1 through the program's download path (the
// live update's DownloadFile: Qt Network, streamed into a file beside the target) against
// `curl -o` from the same server. Also the program's peak memory during the download, above what
// it held before.
#include "benchsupport.h"
#include "testsupport.h"

#include "common/errortrap.h"
#include "liveupdate/liveupdate.h"
#include "shell/frmmain.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>

namespace {

constexpr qint64 MB = 1024 * 1024;
constexpr qint64 FileSize = 200 * MB;
constexpr double MemoryLimitMb = 64;

// A static file server on 127.0.0.1 with a port of the system's choosing; it stops with this object.
class FileServer {
public:
    explicit FileServer(const QString &folder)
    {
        m_process.setProcessEnvironment(bench::childEnvironment());
        m_process.setStandardErrorFile(QProcess::nullDevice());
        m_process.start(QStringLiteral("python3"),
            {QStringLiteral("-u"), QStringLiteral("-m"), QStringLiteral("http.server"), QStringLiteral("--bind"),
                QStringLiteral("127.0.0.1"), QStringLiteral("--directory"), folder, QStringLiteral("0")});
        if (!m_process.waitForStarted())
            bench::fail(QStringLiteral("python3 does not start: %1").arg(m_process.errorString()));
        // "Serving HTTP on 127.0.0.1 port 41234 (http://127.0.0.1:41234/) ..."
        const QRegularExpression serving(QStringLiteral("port (\\d+)"));
        QElapsedTimer clock;
        clock.start();
        while (m_port == 0 && clock.elapsed() < 10000) {
            if (!m_process.canReadLine() && !m_process.waitForReadyRead(int(10000 - clock.elapsed())))
                break;
            const auto match = serving.match(QString::fromUtf8(m_process.readLine()));
            if (match.hasMatch())
                m_port = match.captured(1).toUShort();
        }
        if (m_port == 0)
            bench::fail(QStringLiteral("the file server did not start"));
    }
    ~FileServer()
    {
        m_process.kill();
        m_process.waitForFinished();
    }
    QString url(const QString &file) const { return QStringLiteral("http://127.0.0.1:%1/%2").arg(m_port).arg(file); }

private:
    QProcess m_process;
    quint16 m_port = 0;
};

bool sameFiles(const QString &a, const QString &b)
{
    QFile first(a), second(b);
    if (!first.open(QIODevice::ReadOnly) || !second.open(QIODevice::ReadOnly) || first.size() != second.size())
        return false;
    while (!first.atEnd()) {
        if (first.read(4 * MB) != second.read(4 * MB))
            return false;
    }
    return true;
}

// The benchmark itself; a failure on the way ends it through bench::fail.
int measure(GameSession &session)
{
    // No proxy from the environment stands between the program and the loopback server.
    qputenv("no_proxy", "127.0.0.1");
    const QDir root(session.t.root());
    root.mkpath(QStringLiteral("served"));
    const QString source = root.filePath(QStringLiteral("served/release.bin"));
    bench::writeIncompressible(source, FileSize, 2026);
    const FileServer server(root.filePath(QStringLiteral("served")));
    const QString url = server.url(QStringLiteral("release.bin"));
    const QString byCurl = root.filePath(QStringLiteral("curl.bin"));
    const QString byProgram = root.filePath(QStringLiteral("program.bin"));

    LiveUpdate &live = session.main().liveUpdate();
    double growthMb = 0;
    bool peakReset = true;
    auto downloadWithProgram = [&] {
        QCoreApplication::processEvents();
        peakReset = bench::resetPeakMemory() && peakReset;
        const qint64 idleKb = bench::residentKb();
        const double seconds = bench::timed([&] {
            try {
                live.DownloadFile(url, byProgram, false);
            } catch (const RuntimeError &error) {
                bench::fail(QStringLiteral("the download failed: %1").arg(error.description));
            }
        });
        growthMb = std::max(growthMb, double(bench::peakResidentKb() - idleKb) / 1024);
        if (live.DownloadFailed || QFileInfo(byProgram).size() != FileSize)
            bench::fail(QStringLiteral("the program's download failed"));
        return seconds;
    };
    // Both leave their files to the system's writing-back: neither waits for the disk.
    auto downloadWithCurl = [&] {
        return bench::timed([&] {
            bench::run(QStringLiteral("curl"),
                {QStringLiteral("--silent"), QStringLiteral("--show-error"), QStringLiteral("--fail"),
                    QStringLiteral("--noproxy"), QStringLiteral("*"), QStringLiteral("--output"), byCurl, url});
        });
    };
    // Before each run the last one's files go and the disk settles, so each run writes alike.
    auto fresh = [&] {
        QFile::remove(byCurl);
        QFile::remove(byProgram);
        bench::settleDisk();
    };

    // Once each before timing, with the results checked byte for byte.
    fresh();
    downloadWithCurl();
    downloadWithProgram();
    if (!sameFiles(source, byCurl) || !sameFiles(source, byProgram))
        bench::fail(QStringLiteral("a downloaded file differs from the served one"));

    const int runs = bench::runs(7);
    const bench::Medians medians = bench::alternate(runs, downloadWithProgram, downloadWithCurl, fresh);
    fresh();

    bench::Comparison c;
    c.name = QStringLiteral("download");
    c.program = medians.program;
    c.baseline = medians.baseline;
    c.ratio = c.baseline / c.program; // the program's throughput as a share of curl's
    c.limit = 0.8;
    c.atMost = false;
    c.note = QStringLiteral("200 MB from 127.0.0.1 vs curl -o, %1 MB/s; median of %2")
                 .arg(QString::number(double(FileSize) / MB / c.program, 'f', 0))
                 .arg(runs);
    const bool timePassed = bench::report(c);
    const bool memoryPassed = bench::reportValue(QStringLiteral("download-memory"), growthMb, QStringLiteral("MB"),
        MemoryLimitMb,
        peakReset ? QStringLiteral("peak resident memory above the idle program during the download")
                  : QStringLiteral("peak resident memory above the idle program (peak since start: reset refused)"));
    return timePassed && memoryPassed ? 0 : 1;
}

} // namespace

int main(int argc, char *argv[])
{
    return bench::guardedWithProgram(argc, argv, measure);
}
