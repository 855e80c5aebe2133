// Extracting a 100 MB archive of 2,000 entries into a fresh folder through the program's
// extraction (modUnzip over the libzip engine, logging to the live-update tab as an installation
// does) against Info-ZIP's `unzip -o -q`.
#include "benchsupport.h"
#include "testsupport.h"

#include "liveupdate/liveupdate.h"
#include "liveupdate/modunzip.h"
#include "shell/frmmain.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <QRandomGenerator>

namespace {

constexpr int Entries = 2000;
constexpr int EntriesPerFolder = 100;

// Half the entries are text that deflates well, half are already compressed (as graphics and
// programs in a release are); sizes vary from 10 to 166 kB. About 175 MB unpacked, 100 MB packed.
void writeSourceTree(const QString &folder)
{
    static const char *const words[]
        = {"train ", "station ", "signal ", "track ", "bridge ", "tunnel ", "depot ", "wagon ", "engine ", "cargo ",
            "coal ", "mail ", "goods ", "grain ", "steel ", "oil ", "town ", "road ", "bus ", "truck ", "ship ",
            "plane ", "airport ", "dock ", "switch ", "value ", "year ", "speed ", "= ", "on ", "off ", "\r\n"};
    QRandomGenerator random(1993);
    for (int i = 0; i < Entries; ++i) {
        const QString subfolder
            = QStringLiteral("%1/part%2").arg(folder).arg(i / EntriesPerFolder, 2, 10, QLatin1Char('0'));
        QDir().mkpath(subfolder);
        const qint64 size = (10 * 1024 + random.bounded(156 * 1024)) & ~qint64(3); // whole random words
        QByteArray data;
        if (i % 2 == 0) {
            data.resize(size);
            random.fillRange(reinterpret_cast<quint32 *>(data.data()), size / 4);
        } else {
            data.reserve(size + 16);
            while (data.size() < size)
                data += words[random.bounded(int(std::size(words)))];
            data.truncate(size);
        }
        writeBytes(QStringLiteral("%1/entry%2.dat").arg(subfolder).arg(i, 4, 10, QLatin1Char('0')), data);
    }
}

// Every file below `root` with its size, by relative path.
QMap<QString, qint64> filesBelow(const QString &root)
{
    QMap<QString, qint64> files;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        files.insert(QDir(root).relativeFilePath(info.filePath()), info.size());
    }
    return files;
}

// Whether the two folders hold the same files with the same bytes.
bool sameTrees(const QString &a, const QString &b)
{
    const QMap<QString, qint64> files = filesBelow(a);
    if (filesBelow(b) != files)
        return false;
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        if (readBytes(a + QLatin1Char('/') + it.key()) != readBytes(b + QLatin1Char('/') + it.key()))
            return false;
    }
    return true;
}

// The benchmark itself; a failure on the way ends it through bench::fail.
int measure(GameSession &session)
{
    bench::stayOnOneProcessor();
    const QDir root(session.t.root());
    const QString source = root.filePath(QStringLiteral("source"));
    const QString archive = root.filePath(QStringLiteral("release.zip"));
    writeSourceTree(source);
    bench::run(
        QStringLiteral("zip"), {QStringLiteral("-q"), QStringLiteral("-r"), archive, QStringLiteral(".")}, source);
    const QMap<QString, qint64> expected = filesBelow(source);
    QDir(source).removeRecursively();
    if (expected.size() != Entries)
        bench::fail(QStringLiteral("the archive's source has %1 files").arg(expected.size()));

    frmMain &window = session.main();
    LiveUpdate &live = window.liveUpdate();
    QListWidget &log = *window.controls().lstLiveupdate;
    // An installation runs with a configuration open, from the live-update tab, whose log shows
    // every file as it is extracted.
    session.open();
    for (int tab = 0; tab < 4 && !log.isVisible(); ++tab)
        window.showTabStrip(tab);
    if (!log.isVisible())
        bench::fail(QStringLiteral("the live-update log is not on show"));
    const QString byUnzip = root.filePath(QStringLiteral("by-unzip"));
    const QString byProgram = root.filePath(QStringLiteral("by-program"));

    auto extractWithProgram = [&] {
        modUnzip::resetState();
        modUnzip::Request &request = modUnzip::request();
        request.ArchivePath = archive;
        request.ExtractFolder = byProgram;
        request.flag(modUnzip::OverwriteFiles) = 1;
        // Folders kept, as unzip keeps them, so both write the same tree.
        request.flag(modUnzip::HonorDirectories) = 1;
        modUnzip::Host host {session.t.dialogs, session.t.shell, &window,
            [&live](const QString &line) { live.LiveUpdateEvent(line); }, nullptr};
        int result = -1;
        const double seconds = bench::timed([&] { result = modUnzip::UnzipArchive(host); });
        if (result != 0)
            bench::fail(QStringLiteral("the program's extraction failed with %1").arg(result));
        return seconds;
    };
    auto extractWithUnzip = [&] {
        return bench::timed([&] {
            bench::run(QStringLiteral("unzip"),
                {QStringLiteral("-o"), QStringLiteral("-q"), archive, QStringLiteral("-d"), byUnzip});
        });
    };
    // Each run unpacks into a folder that does not exist yet, after the last run's writing settled.
    auto fresh = [&] {
        QDir(byUnzip).removeRecursively();
        QDir(byProgram).removeRecursively();
        log.clear();
        bench::settleDisk();
    };

    // Once each before timing, with both trees checked: every archived file, and the same bytes.
    fresh();
    extractWithUnzip();
    extractWithProgram();
    if (filesBelow(byUnzip) != expected || !sameTrees(byUnzip, byProgram))
        bench::fail(QStringLiteral("an extraction does not give back the archived files"));
    const int logged = log.count();

    // Five: the disk's pace here moves from run to run, and one slow run in three made the median.
    const int runs = bench::runs(5);
    const bench::Medians medians = bench::alternate(runs, extractWithProgram, extractWithUnzip, fresh);
    fresh();
    return bench::reportAtMost(QStringLiteral("extract"), medians, 1.25,
        QStringLiteral("%1 MB archive, %2 entries, %3 log lines, vs unzip -o -q; median of %4")
            .arg(QFileInfo(archive).size() / (1024 * 1024))
            .arg(Entries)
            .arg(logged)
            .arg(runs));
}

} // namespace

int main(int argc, char *argv[])
{
    return bench::guardedWithProgram(argc, argv, measure);
}
