#include "fuzzsupport.h"

#include "common/modmain.h"

#include <QApplication>
#include <QDirIterator>
#include <QMap>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace fuzzSupport {

namespace {

QMap<QString, Entry> &registry()
{
    static QMap<QString, Entry> targets;
    return targets;
}

// Lives until exit, so a normal end removes it; after an abort it stays for a look.
std::unique_ptr<QTemporaryDir> g_tempRoot;
// libFuzzer ends the process with exit() from inside its own loop, after which Qt can no longer
// destroy an application object; kept reachable instead (fuzz/lsan.supp covers fontconfig's caches).
int g_argc = 0;
QApplication *g_application = nullptr;

void start(int *argc, char ***argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (!QCoreApplication::instance()) {
        g_argc = *argc;
        g_application = new QApplication(g_argc, *argv);
    }
    g_tempRoot = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/vexal-fuzz-XXXXXX"));
    if (!g_tempRoot->isValid())
        fail(__FILE__, __LINE__, QStringLiteral("cannot make a temporary folder: ") + g_tempRoot->errorString());
    qputenv("TMPDIR", QFile::encodeName(g_tempRoot->path()));
}

int runInput(const QString &target, Entry entry, const std::uint8_t *data, std::size_t size)
{
    const int result = entry(data, size);
    const QStringList left
        = QDir(g_tempRoot->path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    FUZZ_CHECK(left.isEmpty(), QStringLiteral("%1 left %2 behind").arg(target, left.join(u", ")));
    return result;
}

} // namespace

Registration::Registration(const char *name, Entry entry)
{
    registry().insert(QString::fromLatin1(name), entry);
}

void fail(const char *file, int line, const QString &why)
{
    std::fprintf(stderr, "\nbroken invariant at %s:%d: %s\n", file, line, why.toLocal8Bit().constData());
    std::fflush(stderr);
    // Kept for the post-mortem: what was written may be the evidence.
    if (g_tempRoot)
        g_tempRoot->setAutoRemove(false);
    std::abort();
}

InputFile::InputFile(const std::uint8_t *data, std::size_t size, const QString &name)
    : bytes(bytesOf(data, size))
    , m_path(m_dir.filePath(name))
{
    QFile file(m_path);
    FUZZ_CHECK(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size(), file.errorString());
}

} // namespace fuzzSupport

#ifdef VEXAL_FUZZ_REPLAY
// The gcc trees replay the seed corpus this way among the tests, and a crash file from a clang run
// can be replayed here under gdb:   vexalpro-fuzz-replay TARGET FILE-OR-FOLDER...
int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    fuzzSupport::start(&argc, &argv);
    const QStringList arguments = app.arguments();
    const QString name = arguments.value(1);
    const fuzzSupport::Entry target = fuzzSupport::registry().value(name);
    if (!target || arguments.size() < 3) {
        std::fprintf(stderr, "usage: %s TARGET FILE-OR-FOLDER...\ntargets: %s\n", argv[0],
            qPrintable(fuzzSupport::registry().keys().join(u' ')));
        return 2;
    }
    QStringList files;
    for (const QString &path : arguments.mid(2)) {
        QDirIterator it(path, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext())
            files.append(it.next());
        if (!QFileInfo(path).isDir())
            files.append(path);
    }
    // The same order on every run, so a failure points at the same file each time.
    std::sort(files.begin(), files.end());
    for (const QString &file : files) {
        const QByteArray bytes = modMain::readWholeFile(file);
        std::fprintf(stderr, "%s: %s\n", qPrintable(name), qPrintable(file));
        fuzzSupport::runInput(
            name, target, reinterpret_cast<const std::uint8_t *>(bytes.constData()), std::size_t(bytes.size()));
    }
    // A missing or empty seed folder would otherwise pass without testing anything.
    if (files.isEmpty()) {
        std::fprintf(stderr, "%s: no input found\n", qPrintable(name));
        return 1;
    }
    std::printf("%s: %lld inputs replayed, no invariant broken\n", qPrintable(name), qlonglong(files.size()));
    return 0;
}
#else
// libFuzzer's entry points; each fuzz-<target> program links exactly one target.
extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    fuzzSupport::start(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const auto target = fuzzSupport::registry().constBegin();
    return fuzzSupport::runInput(target.key(), target.value(), data, size);
}
#endif
