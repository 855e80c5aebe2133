// Start-up: from starting the real program to its main window showing, with the last
// configuration reopened, against a bare Qt Widgets program that shows one window. Both report
// their first show on standard output and quit; the time is taken when that line arrives.
#include "benchsupport.h"
#include "testsupport.h"

#include "common/settingkeys.h"
#include "platform/settingsstore.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

namespace {

constexpr int ShowTimeoutMs = 60000;

struct Child {
    QString program;
    QStringList arguments;
    QProcessEnvironment environment;
};

// Seconds from starting the program to its "shown:" line.
double timeToShow(const Child &child)
{
    QProcess process;
    process.setProcessEnvironment(child.environment);
    // Its messages are kept for the report of a failed start, not printed over the results.
    process.setProcessChannelMode(QProcess::SeparateChannels);
    QElapsedTimer clock;
    clock.start();
    process.start(child.program, child.arguments);
    if (!process.waitForStarted())
        bench::fail(QStringLiteral("%1 does not start: %2").arg(child.program, process.errorString()));
    QByteArray output;
    double seconds = -1;
    while (seconds < 0) {
        const int left = ShowTimeoutMs - int(clock.elapsed());
        if (left <= 0 || (!process.canReadLine() && !process.waitForReadyRead(left)))
            break;
        while (process.canReadLine()) {
            const QByteArray line = process.readLine();
            output += line;
            if (line.startsWith("shown: ")) {
                seconds = double(clock.nsecsElapsed()) / 1e9;
                break;
            }
        }
    }
    if (!process.waitForFinished(ShowTimeoutMs))
        process.kill();
    process.waitForFinished();
    if (seconds < 0 || !output.contains("visible=1"))
        bench::fail(
            QStringLiteral("%1 showed no window; it printed: %2 %3")
                .arg(child.program, QString::fromUtf8(output), QString::fromUtf8(process.readAllStandardError())));
    return seconds;
}

// The benchmark itself; a failure on the way ends it through bench::fail.
int measure(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    bench::stayOnOneProcessor();
    QTemporaryDir root;
    if (!root.isValid())
        bench::fail(QStringLiteral("no temporary folder"));
    const QString game = copyDemoGame(QStringLiteral("game"), root.filePath(QStringLiteral("game")));
    const QString configuration = game + QStringLiteral("ttdpatch.cfg");
    const QString settingsFolder = root.filePath(QStringLiteral("settings"));
    {
        // What a person who has used the program before has: the last file to reopen, and the
        // automatic update checks off (they would reach out to the update servers).
        SettingsStore settings(settingsFolder);
        writeSetting(settings, settingKeys::Recent1, configuration);
        writeSetting(settings, settingKeys::AutoLoadLast, 1);
        writeSetting(settings, settingKeys::AutoLU, 0);
    }

    QProcessEnvironment environment = bench::childEnvironment();
    // The platform of the run (scripts/bench: offscreen), the same for both programs.
    if (!environment.contains(QStringLiteral("QT_QPA_PLATFORM")))
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), root.filePath(QStringLiteral("cache")));
    environment.insert(QStringLiteral("VEXALP_SETTINGS_DIR"), settingsFolder);
    const Child program {QStringLiteral(VEXAL_PROGRAM),
        {QStringLiteral("--smoke-test"), QStringLiteral("--settings-dir"), settingsFolder}, environment};
    const Child baseline {QStringLiteral(VEXAL_BASELINE_WINDOW), {}, environment};

    // The first start detects the patch version (the stand-in patch writes its switch list and the
    // program waits for it) and remembers it; later starts take the remembered version, as a
    // person's every start after the first does. Its traces also show that the file was reopened.
    timeToShow(program);
    timeToShow(baseline);
    const SettingsStore after(settingsFolder);
    const qint64 patchSize = QFileInfo(game + QStringLiteral("ttdpatchw.exe")).size();
    if (readSettingNumber(after, settingKeys::PatchVersionSize) != patchSize
        || !QFileInfo::exists(game + QStringLiteral("swtchlst.txt")))
        bench::fail(QStringLiteral("the program did not reopen %1 at start-up").arg(configuration));

    const int runs = bench::runs(15);
    const bench::Medians medians = bench::alternate(
        runs, [&] { return timeToShow(program); }, [&] { return timeToShow(baseline); });
    return bench::reportAtMost(QStringLiteral("startup"), medians, 1.5,
        QStringLiteral("to the main window with the last file reopened, vs a bare window; median of %1").arg(runs));
}

} // namespace

int main(int argc, char *argv[])
{
    return bench::guarded([&] { return measure(argc, argv); });
}
