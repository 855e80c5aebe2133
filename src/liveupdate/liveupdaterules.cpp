#include "liveupdaterules.h"

#include "common/basictext.h"
#include "common/links.h"
#include "common/modmain.h"

#include <QUrl>

using modMain::uiText;

namespace liveUpdateRules {

namespace {
const QString CrLf = QStringLiteral("\r\n");
} // namespace

QString progressText(qint64 done, qint64 total)
{
    const qint64 percent = total > 0 ? done * 100 / total : 0;
    return QString::number(done / ChunkSize) + uiText(85) + QString::number(total / ChunkSize) + uiText(86)
        + QLatin1String("  (") + QString::number(percent) + QLatin1String("% ") + uiText(68).toLower()
        + QLatin1Char(')');
}

QList<qint64> progressCounts(qint64 total)
{
    return progressCountsBetween(0, total, total);
}

QList<qint64> progressCountsBetween(qint64 before, qint64 after, qint64 total)
{
    // A count is shown after a full chunk only while more bytes remain to be read.
    QList<qint64> counts;
    for (qint64 done = (before / ChunkSize + 1) * ChunkSize; done <= after && done < total; done += ChunkSize)
        counts.append(done);
    return counts;
}

QString countdownText(ServerKind kind, int countdown)
{
    QString text = uiText(83);
    text.replace(
        QLatin1String("#TTDPATCH#"), kind == ServerKind::Patch ? QLatin1String("TTDPatch") : QLatin1String("Vexal"));
    return text + QLatin1String(" (") + QString::number(countdown) + QLatin1Char(')');
}

std::optional<qint64> contentLength(const QByteArray &headerValue)
{
    const QByteArray digits = headerValue.trimmed();
    if (digits.isEmpty() || digits.size() > 18)
        return std::nullopt;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return std::nullopt;
    }
    return digits.toLongLong();
}

QByteArray normalisedTextFile(const QByteArray &bytes)
{
    QByteArray text = bytes;
    text.replace("\n", "\r\n");
    return text + "\r\n";
}

QString alphaDescription(const QStringList &fileLines)
{
    QString description;
    bool inside = false;
    for (const QString &line : fileLines) {
        if (inside && line.startsWith(QLatin1Char('[')))
            break;
        if (inside)
            description += line + CrLf;
        else if (line == QLatin1String("[Alpha/Beta Description]"))
            inside = true;
    }
    return description;
}

QString newestSwitchBlock(const QStringList &fileLines, const QString &newest, const QString &newer)
{
    const QString start = QLatin1Char('[') + newest + QLatin1Char(']');
    const QString stop = QLatin1Char('[') + newer + QLatin1Char(']');
    QString block;
    bool collecting = false;
    for (const QString &line : fileLines) {
        const QString trimmed = basicText::trimBlanks(line);
        if (trimmed == stop)
            break;
        if (collecting)
            block += trimmed + CrLf;
        else if (trimmed == start)
            collecting = true;
    }
    return block;
}

QString withSwitchBlock(const QString &editorText, const QString &newest, const QString &block)
{
    return editorText + CrLf + QLatin1String("// --- ") + newest + QLatin1String(" switches ---") + CrLf + block + CrLf;
}

QString announcement(const QString &product, const QString &version, const QString &date)
{
    return uiText(93) + CrLf + CrLf + uiText(94) + product + QLatin1Char(' ') + version + CrLf + uiText(95)
        + QLatin1Char(' ') + date + CrLf + CrLf + uiText(96);
}

QString localArchiveName(const QString &remoteName)
{
    QString name = remoteName;
    name.replace(QLatin1Char('\\'), QLatin1Char('/'));
    name = name.section(QLatin1Char('/'), -1);
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return {};
    return name;
}

namespace {
// A server given for a demo or a test replaces a whole mirror list.
std::optional<QStringList> serverFromEnvironment(const char *variable)
{
    QString url = qEnvironmentVariable(variable).trimmed();
    if (url.isEmpty())
        return std::nullopt;
    if (!url.endsWith(QLatin1Char('/')))
        url += QLatin1Char('/');
    return QStringList {url};
}
} // namespace

bool serverGiven(const char *variable)
{
    return serverFromEnvironment(variable).has_value();
}

QStringList patchMirrors()
{
    if (const auto server = serverFromEnvironment(PatchServerVariable))
        return *server;
    // The patch's main site, its UK mirror and its Danish mirror, in the order the setting counts.
    return {QStringLiteral("https://www.ttdpatch.example/liveupdate/"),
        QStringLiteral("https://uk.ttdpatch.example/liveupdate/"),
        QStringLiteral("https://dk.ttdpatch.example/liveupdate/")};
}

std::optional<QString> mirrorAddress(const QString &typed)
{
    const QUrl url(typed.trimmed(), QUrl::StrictMode);
    if (!links::isWebAddress(url) || url.hasQuery() || url.hasFragment() || !url.userInfo().isEmpty())
        return std::nullopt;
    QString address = url.toString(QUrl::FullyEncoded);
    if (!address.endsWith(QLatin1Char('/')))
        address += QLatin1Char('/');
    return address;
}

QStringList toolMirrors()
{
    if (const auto server = serverFromEnvironment(ToolServerVariable))
        return *server;
    return {QStringLiteral("https://vexalpro.brakemoor.example/update/"),
        QStringLiteral("https://brakemoor.example/vexalpro/update/")};
}

} // namespace liveUpdateRules
