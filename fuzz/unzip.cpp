// A downloaded release archive unpacked as the patch install does it, then again with the
// archive's folders kept and every question answered yes: whatever the archive holds, nothing
// lands outside the extract folder, no link is made, the archive itself is left as it was.
#include "fuzzsupport.h"

#include "liveupdate/modunzip.h"
#include "platform/dialogs.h"
#include "platform/shell.h"

#include <QDirIterator>
#include <QFileInfo>

namespace {

// Starts nothing: a failed extraction offers the archive to the desktop.
class NoShell final : public Shell {
public:
    bool openDocument(const QString &) override { return true; }
    bool startProgram(const ProgramStart &) override { return true; }
    std::unique_ptr<RunningProgram> startWatched(const ProgramStart &) override { return nullptr; }
};

// Small enough that an archive bomb is stopped after a few chunks.
constexpr qint64 SizeLimit = 1024 * 1024;

void extract(const QString &archive, const QString &folder, bool keepFolders)
{
    ScriptedDialogs dialogs; // no queued answer: every question gets its default button (yes)
    // The password the fuzzer's seed archives use; a wrong one is asked again, then given up.
    dialogs.queueText(QStringLiteral("secret"));
    dialogs.queueText(QStringLiteral("wrong"));
    NoShell shell;
    modUnzip::Host host {dialogs, shell, nullptr, {}, {}};
    modUnzip::resetState();
    modUnzip::Request &request = modUnzip::request();
    request.ArchivePath = archive;
    request.ExtractFolder = folder;
    request.TotalSizeLimit = SizeLimit;
    if (keepFolders) {
        request.flag(modUnzip::HonorDirectories) = 1;
        request.flag(modUnzip::PromptToOverwrite) = 1;
    } else {
        request.flag(modUnzip::OverwriteFiles) = 1;
    }
    modUnzip::UnzipArchive(host);
    modUnzip::resetState();
}

void checkTree(const QString &root, const QString &archive, const QString &out)
{
    const QString outCanonical = QFileInfo(out).canonicalFilePath();
    QDirIterator it(
        root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info(path);
        if (path == archive || path == out)
            continue;
        FUZZ_CHECK(path.startsWith(out + QLatin1Char('/')), QStringLiteral("%1 was written outside %2").arg(path, out));
        FUZZ_CHECK(!info.isSymLink(), QStringLiteral("%1 is a link").arg(path));
        FUZZ_CHECK(info.isFile() || info.isDir(), QStringLiteral("%1 is a special file").arg(path));
        FUZZ_CHECK(info.canonicalFilePath().startsWith(outCanonical + QLatin1Char('/')),
            QStringLiteral("%1 leads to %2").arg(path, info.canonicalFilePath()));
        // A member is written to a temporary file that becomes the target only when complete.
        FUZZ_CHECK(!info.fileName().startsWith(QLatin1String(".unzip-")),
            QStringLiteral("%1 is a leftover partial file").arg(path));
        FUZZ_CHECK(info.size() <= SizeLimit, QStringLiteral("%1 is larger than the limit").arg(path));
    }
}

} // namespace

VEXAL_FUZZ_TARGET(unzip)
{
    const fuzzSupport::InputFile input(data, size, QStringLiteral("release.zip"));
    const QString root = input.folder();
    const QString archive = input.path();
    const QString out = root + QStringLiteral("/out");

    extract(archive, out, false);
    checkTree(root, archive, out);
    // The second run finds the first one's files in place: the questions and replacements are asked.
    extract(archive, out, true);
    checkTree(root, archive, out);

    FUZZ_CHECK(fuzzSupport::readFile(archive) == input.bytes, QStringLiteral("the archive changed"));
    return 0;
}
