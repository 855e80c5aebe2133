#include "modmain.h"

#include "basictext.h"
#include "errortrap.h"
#include "links.h"
#include "platform/dialogs.h"
#include "platform/shell.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStringDecoder>
#include <QTemporaryFile>
#include <QUrl>
#include <QWidget>

#include <cstdio>
#include <optional>

#include <sys/stat.h>

namespace modMain {

namespace {
State g_state;
const QString g_empty;

constexpr const char *ContactAddress = "vexalpro@brakemoor.example";
} // namespace

State &state()
{
    return g_state;
}

void resetState()
{
    g_state = State {};
}

const QString &uiText(int n)
{
    if (n < 1 || n > UiTextCount)
        return g_empty;
    return g_state.UiText[std::size_t(n)];
}

QString folderOf(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QString() : path.left(slash + 1);
}

bool fileExists(const QString &path)
{
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    return info.isFile() && !info.fileName().startsWith(QLatin1Char('.'));
}

namespace {

// The entry of `folder` named `name` in any letter case among those `filters` admit: the exact
// spelling when it is there (a Linux folder may hold several), else the first in name order.
std::optional<QString> entryIgnoringCase(const QString &folder, const QString &name, QDir::Filters filters)
{
    if (name.isEmpty() || name.contains(QLatin1Char('/')))
        return std::nullopt;
    // The exact spelling is one look at the file system; the listing below, which the start ran
    // for every file it looks for, is for the other spellings.
    const QFileInfo exact(QDir(folder).filePath(name));
    const bool exactFits = !filters.testFlag(QDir::Dirs) ? exact.isFile()
        : filters.testFlag(QDir::Files)                   ? exact.exists()
                                                          : exact.isDir();
    if (exactFits && (filters.testFlag(QDir::Hidden) || !name.startsWith(QLatin1Char('.'))))
        return name;
    // No name filter: Qt would make a regular expression of it, which costs more than the names it saves.
    const QStringList entries = QDir(folder).entryList(filters | QDir::NoDotAndDotDot, QDir::Name);
    std::optional<QString> found;
    for (const QString &entry : entries) {
        if (entry == name)
            return entry;
        if (!found && entry.compare(name, Qt::CaseInsensitive) == 0)
            found = entry;
    }
    return found;
}

constexpr QDir::Filters AnyEntry = QDir::AllEntries | QDir::Hidden | QDir::System;

} // namespace

QString fileIgnoringCase(const QString &folder, const QString &name)
{
    return folder + entryIgnoringCase(folder, name, QDir::Files | QDir::Hidden | QDir::System).value_or(name);
}

QString folderIgnoringCase(const QString &folder, const QString &name)
{
    return folder + entryIgnoringCase(folder, name, QDir::Dirs | QDir::Hidden).value_or(name);
}

QString pathIgnoringCase(const QString &folder, const QStringList &names)
{
    QString path = folder;
    for (qsizetype i = 0; i < names.size(); ++i) {
        const QString &name = names.at(i);
        // On the way a folder is wanted; anything else of that name still answers, so that the
        // caller finds the file or link in the way instead of making a second entry beside it.
        std::optional<QString> found;
        if (i + 1 < names.size())
            found = entryIgnoringCase(path, name, QDir::Dirs | QDir::Hidden);
        if (!found)
            found = entryIgnoringCase(path, name, AnyEntry);
        path += found.value_or(name);
        if (i + 1 < names.size())
            path += QLatin1Char('/');
    }
    return path;
}

bool isReadOnlyFile(const QString &path)
{
    struct stat info { };
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return false;
    return (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

void deleteIfExists(const QString &path)
{
    if (fileExists(path))
        QFile::remove(path);
}

QByteArray readWholeFile(const QString &path, qint64 maximumSize)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw RuntimeError::fromFile(file);
    if (maximumSize >= 0 && file.size() > maximumSize)
        throw RuntimeError {
            7, QStringLiteral("Out of memory (the file is larger than %1 MB)").arg(maximumSize / (1024 * 1024))};
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw RuntimeError::fromFile(file);
    return bytes;
}

void writeWholeFile(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    // commit() does not notice when the last buffered bytes fail to reach the disk (a full disk)
    // and would put the cut-short file in place: flushed first, the failure is seen and reported.
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush() || !file.commit())
        throw RuntimeError::fromFile(file);
}

bool putInPlace(QTemporaryFile &file, const QString &target)
{
    // Not every file system keeps modes (a game folder on a FAT disk): a refusal is no failure.
    file.setPermissions(
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther);
    // Flushed first: the rename would overlook a failure of the last buffered write (a full disk).
    if (!file.flush()
        || ::rename(QFile::encodeName(file.fileName()).constData(), QFile::encodeName(target).constData()) != 0)
        return false;
    file.setAutoRemove(false);
    return true;
}

QString readIniString(const QString &section, const QString &key, const QString &defaultValue, const QString &fileName)
{
    // Written by hand: the Windows profile-string rules (case-blind names, first section and key
    // win, quotes stripped, 254 characters) are what the servers' files were written for.
    constexpr qsizetype ReaderBuffer = 255;
    auto clip = [](QString value) {
        value.truncate(ReaderBuffer - 1);
        return value;
    };
    // The reader strips the default's trailing blanks only; leading ones stay.
    QString fallback = defaultValue;
    while (fallback.endsWith(QLatin1Char(' ')))
        fallback.chop(1);
    fallback = clip(fallback);

    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return fallback;
    const QByteArray bytes = file.readAll();
    // Stateless: a sequence cut off by the end of the file is an error too, so the whole file is
    // read as Latin-1 rather than losing its last character.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(bytes);
    if (utf8.hasError())
        text = QString::fromLatin1(bytes);

    const auto isBlank = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); };
    const auto trimmed = [&](QString s) {
        qsizetype b = 0, e = s.size();
        while (b < e && isBlank(s.at(b)))
            ++b;
        while (e > b && isBlank(s.at(e - 1)))
            --e;
        return s.mid(b, e - b);
    };

    bool inSection = false;
    bool sectionSeen = false;
    // CR, LF and CR LF all end a line, so a file whose CR LFs were doubled to CR CR LF still reads.
    static const QRegularExpression lineEnd(QStringLiteral("\r\n|\r|\n"));
    const QStringList lines = text.split(lineEnd);
    for (const QString &line : lines) {
        const QString t = trimmed(line);
        if (t.startsWith(QLatin1Char('['))) {
            if (sectionSeen)
                break; // only the first section of that name counts
            const qsizetype close = t.indexOf(QLatin1Char(']'));
            const QString name = trimmed(t.mid(1, close < 0 ? -1 : close - 1));
            inSection = basicText::equalsIgnoringCase(name, section);
            sectionSeen = inSection;
            continue;
        }
        if (!inSection)
            continue;
        const qsizetype equals = t.indexOf(QLatin1Char('='));
        if (equals < 0)
            continue;
        if (!basicText::equalsIgnoringCase(trimmed(t.left(equals)), key))
            continue;
        QString value = trimmed(t.mid(equals + 1));
        if (value.size() >= 2
            && ((value.startsWith(QLatin1Char('"')) && value.endsWith(QLatin1Char('"')))
                || (value.startsWith(QLatin1Char('\'')) && value.endsWith(QLatin1Char('\'')))))
            value = value.mid(1, value.size() - 2);
        return clip(value);
    }
    return fallback;
}

void setListIndex(QComboBox &list, qint64 index)
{
    if (index < -1 || index >= list.count())
        throw RuntimeError::of(errorNumber::InvalidPropertyValue);
    list.setCurrentIndex(int(index));
}

void applyChosenOpacity(QWidget &window)
{
    if (g_state.BlendEnabled)
        setTranslucency(window, g_state.BlendLevel, true);
}

void setTranslucency(QWidget &window, int opacity, bool repaint)
{
    window.setWindowOpacity(qBound(0, opacity, 255) / 255.0);
    if (repaint)
        window.update();
}

} // namespace modMain

namespace modMain {

bool openDocument(Services &services, const QString &pathOrUrl)
{
    return services.shell.openDocument(pathOrUrl);
}

QString programPageAddress(bool mainSite)
{
    return links::addressOf(mainSite ? "mnuMainsite" : "mnuMirror1");
}

QString gameDownloadPage()
{
    return links::addressOf("mnuDownloadTTD");
}

void openProgramPage(Services &services, bool mainSite)
{
    openDocument(services, programPageAddress(mainSite));
}

QString mailReportAddress(const QString &subject)
{
    // Encoded so that a '&', '=', '#' or '?' in the subject cannot start another header or a
    // fragment and cut it short; the delimiters a mailto header value allows stay readable.
    return QLatin1String("mailto:") + QLatin1String(ContactAddress) + QLatin1String("?subject=")
        + QString::fromLatin1(QUrl::toPercentEncoding(subject, "!$'()*,;:@/"));
}

void mailReport(Services &services, QWidget *parent, const QString &subject, const QString &notice)
{
    if (!notice.isEmpty())
        services.dialogs.message(
            parent, {QStringLiteral("Email Notice"), notice, MessageIcon::Information, MessageButtons::Ok, Answer::Ok});
    openDocument(services, mailReportAddress(subject));
}

} // namespace modMain
