#include "fuzzsupport.h"

#include "common/errortrap.h"
#include "common/modmain.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMap>
#include <QTemporaryDir>

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

} // namespace

Registration::Registration(const char *name, Entry entry)
{
    registry().insert(QString::fromLatin1(name), entry);
}

Entry entry(const QString &name)
{
    return registry().value(name, nullptr);
}

QStringList names()
{
    return registry().keys();
}

void start(int *argc, char ***argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The replay program makes its own on the stack; libFuzzer's main leaves it to us.
    if (!QCoreApplication::instance()) {
        g_argc = *argc;
        g_application = new QApplication(g_argc, *argv);
    }
    g_tempRoot = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/vexal-fuzz-XXXXXX"));
    if (!g_tempRoot->isValid())
        fail(__FILE__, __LINE__, QStringLiteral("cannot make a temporary folder: ") + g_tempRoot->errorString());
    qputenv("TMPDIR", QFile::encodeName(g_tempRoot->path()));
}

void finishInput(const char *target)
{
    if (!g_tempRoot)
        return;
    const QStringList left
        = QDir(g_tempRoot->path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    if (!left.isEmpty())
        fail(__FILE__, __LINE__,
            QStringLiteral("%1 left %2 in the temporary folder %3")
                .arg(QLatin1String(target), left.join(QStringLiteral(", ")), g_tempRoot->path()));
}

QByteArray readFile(const QString &path)
{
    try {
        return modMain::readWholeFile(path);
    } catch (const RuntimeError &error) {
        fail(__FILE__, __LINE__, QStringLiteral("cannot read %1: %2").arg(path, error.description));
    }
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    try {
        modMain::writeWholeFile(path, bytes);
    } catch (const RuntimeError &error) {
        fail(__FILE__, __LINE__, QStringLiteral("cannot write %1: %2").arg(path, error.description));
    }
}

InputFile::InputFile(const std::uint8_t *data, std::size_t size, const QString &name)
    : bytes(bytesOf(data, size))
{
    if (!m_dir.isValid())
        fail(__FILE__, __LINE__, QStringLiteral("cannot make a temporary folder: ") + m_dir.errorString());
    m_path = m_dir.filePath(name);
    writeFile(m_path, bytes);
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

} // namespace fuzzSupport
