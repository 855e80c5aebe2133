// A downloaded release archive unpacked as the patch install does it, then again with the
// archive's folders kept and every question answered yes: whatever the archive holds, nothing
// lands outside the extract folder, no link or partial file is left, the archive is unchanged.
#include "fuzzsupport.h"

#include "common/modmain.h"
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

void extractAndCheck(const QString &archive, const QString &out, bool keepFolders)
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
    request.ExtractFolder = out;
    request.TotalSizeLimit = SizeLimit;
    request.flag(keepFolders ? modUnzip::HonorDirectories : modUnzip::OverwriteFiles) = 1;
    request.flag(modUnzip::PromptToOverwrite) = keepFolders ? 1 : 0;
    modUnzip::UnzipArchive(host);
    modUnzip::resetState();

    const QString root = QFileInfo(archive).path();
    const QString inside = QFileInfo(out).canonicalFilePath() + QLatin1Char('/');
    QDirIterator it(
        root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info(path);
        if (path == archive || path == out)
            continue;
        // A member is written to a temporary file that becomes the target only when complete.
        FUZZ_CHECK(path.startsWith(out + QLatin1Char('/')) && !info.isSymLink() && (info.isFile() || info.isDir())
                && info.canonicalFilePath().startsWith(inside) && !info.fileName().startsWith(QLatin1String(".unzip-"))
                && info.size() <= SizeLimit,
            QStringLiteral("%1 (leads to %2) should not be there").arg(path, info.canonicalFilePath()));
    }
}

} // namespace

VEXAL_FUZZ_TARGET(unzip)
{
    const fuzzSupport::InputFile input(data, size, QStringLiteral("release.zip"));
    const QString out = input.folder() + QStringLiteral("/out");
    extractAndCheck(input.path(), out, false);
    // The second run finds the first one's files in place: the questions and replacements are asked.
    extractAndCheck(input.path(), out, true);
    FUZZ_CHECK(modMain::readWholeFile(input.path()) == input.bytes, QStringLiteral("the archive changed"));
    return 0;
}
