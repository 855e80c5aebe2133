#include "modunzip.h"

#include "common/basictext.h"
#include "common/modmain.h"
#include "platform/dialogs.h"
#include "platform/shell.h"

#include <QFile>

#include <cstring>

namespace modUnzip {

namespace {

constexpr int TextInstalled = 62;
constexpr int TextUnzipFailed = 65;
using modMain::ProductName;
const QString LineBreak = QStringLiteral("\r\n");

Request g_request;
qint16 g_skipPassword = 0;
// The extraction in progress; the library calls back synchronously from within it.
Host *g_host = nullptr;

class HostScope {
public:
    explicit HostScope(Host &host) { g_host = &host; }
    ~HostScope() { g_host = nullptr; }
    HostScope(const HostScope &) = delete;
    HostScope &operator=(const HostScope &) = delete;
};

QString hex(quint8 value)
{
    return QString::number(value, 16).toUpper();
}

QList<QByteArray> encodedNames(const std::array<QString, ListSize> &names)
{
    QList<QByteArray> encoded;
    for (const QString &name : names)
        encoded.append(QFile::encodeName(name));
    return encoded;
}

QString patchExecutableName()
{
    switch (modMain::state().PatchEdition) {
    case modMain::Edition::Windows: return QStringLiteral("ttdpatchw.exe");
    case modMain::Edition::Dos: return QStringLiteral("ttdpatch.exe");
    case modMain::Edition::None: break;
    }
    return {};
}

} // namespace

Request &request()
{
    return g_request;
}

qint16 &SkipPassword()
{
    return g_skipPassword;
}

void resetState()
{
    g_request = Request {};
    g_skipPassword = 0;
}

int UnzipArchive(Host &host)
{
    HostScope scope(host);

    unzipLibrary::Options options;
    for (int i = 0; i < FlagCount; ++i)
        options.flags[std::size_t(i)] = g_request.Flags[std::size_t(i)];
    options.zipFileName = QFile::encodeName(g_request.ArchivePath);
    options.extractDir = QFile::encodeName(g_request.ExtractFolder);
    options.totalSizeLimit = g_request.TotalSizeLimit;

    unzipLibrary::UserFunctions callbacks;
    callbacks.print = ZipPrintCallback;
    callbacks.replace = ZipReplaceCallback;
    callbacks.password = ZipPasswordCallback;
    callbacks.message = [](quint64 size, quint64 compressed, const char *name, quint32 crc, bool encrypted) {
        ZipMessageCallback(size, compressed, name, crc, encrypted);
    };
    callbacks.service = ZipServiceCallback;

    unzipLibrary::VersionInfo version;
    unzipLibrary::UzpVersion2(version);
    if (host.LiveUpdateEvent) {
        for (const QString &line : versionLines(version))
            host.LiveUpdateEvent(line);
    }

    const int result = unzipLibrary::Wiz_SingleEntryUnzip(g_request.FileCount, encodedNames(g_request.FileNames),
        g_request.ExcludeCount, encodedNames(g_request.ExcludeNames), options, callbacks);

    const modMain::State &state = modMain::state();
    if (result == 0) {
        host.dialogs.message(host.parent,
            {ProductName, modMain::uiText(TextInstalled) + LineBreak + state.GameFolder, MessageIcon::Information,
                MessageButtons::Ok, Answer::Ok});
        const QString executable = patchExecutableName();
        // A new release may keep the old executable's size, which the remembered version is keyed on.
        if (!executable.isEmpty() && !state.GameFolder.isEmpty()
            && modMain::fileExists(modMain::fileIgnoringCase(state.GameFolder, executable)) && host.GetPatchVersion)
            host.GetPatchVersion(true);
    } else {
        host.dialogs.message(host.parent,
            {ProductName, modMain::uiText(TextUnzipFailed) + QString::number(result), MessageIcon::Critical,
                MessageButtons::Ok, Answer::Ok});
        // The person can still unpack the archive by hand.
        host.shell.openDocument(g_request.ArchivePath);
    }
    return result;
}

int ZipPrintCallback(const char *buffer, unsigned long length)
{
    const std::size_t end = buffer ? strnlen(buffer, length) : 0;
    QString text = QString::fromLocal8Bit(buffer, qsizetype(end));
    if (text.startsWith(QLatin1Char('\n')))
        text = LineBreak;
    if (g_host && g_host->LiveUpdateEvent)
        g_host->LiveUpdateEvent(text);
    return 0;
}

int ZipReplaceCallback(char *fileName)
{
    if (!g_host)
        return unzipLibrary::replace::No;
    const Answer answer = g_host->dialogs.message(g_host->parent,
        {QStringLiteral("VBUnZip32 - File Already Exists!"),
            QStringLiteral("Overwrite ") + QString::fromLocal8Bit(fileName) + QLatin1Char('?'),
            MessageIcon::Exclamation, MessageButtons::YesNoCancel, Answer::None});
    switch (answer) {
    case Answer::No: return unzipLibrary::replace::No;
    case Answer::Cancel: return unzipLibrary::replace::None;
    default: return unzipLibrary::replace::Yes;
    }
}

int ZipPasswordCallback(char *password, int size, const char *message, const char *name)
{
    Q_UNUSED(message);
    Q_UNUSED(name);
    if (g_skipPassword != 0 || !g_host)
        return 1;
    const QString answer
        = g_host->dialogs.inputBox(g_host->parent, ProductName, QStringLiteral("Please Enter The Password!"), {})
              .value_or(QString());
    if (answer.isEmpty()) {
        g_skipPassword = 1;
        return 1;
    }
    std::memset(password, 0, std::size_t(size));
    const QByteArray bytes = answer.toLocal8Bit().left(std::min(size, PasswordBufferSize) - 1);
    std::memcpy(password, bytes.constData(), std::size_t(bytes.size()));
    password[bytes.size()] = '\0';
    return 0;
}

int ZipMessageCallback(quint64, quint64, const char *, quint32, bool)
{
    return 0;
}

int ZipServiceCallback(const char *, unsigned long)
{
    return 0;
}

QString TrimAtNull(const QString &text)
{
    const qsizetype nul = text.indexOf(QChar(u'\0'));
    if (nul == 0)
        return {};
    return basicText::trimBlanks(nul < 0 ? text : text.left(nul));
}

QStringList versionLines(const unzipLibrary::VersionInfo &version)
{
    const auto date = QString::fromLatin1(version.date, sizeof version.date);
    return {
        QStringLiteral("Unzip32 control info:"),
        QStringLiteral("Zip Info: ") + hex(version.zipinfo[0]) + QLatin1Char('.') + hex(version.zipinfo[1])
            + hex(version.zipinfo[2]),
        QStringLiteral("DLL Date: ") + TrimAtNull(date),
        QStringLiteral("DLL Version: ") + hex(version.windll[0]) + QLatin1Char('.') + hex(version.windll[1])
            + hex(version.windll[2]),
    };
}

} // namespace modUnzip
