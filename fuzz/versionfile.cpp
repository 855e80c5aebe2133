// A downloaded server text file as the release check, the patch install and the news line take it:
// its line ends fixed, its values read as an INI file, its lines read in code page 1252 for the
// release description, the new switches and the news records; archive names made local, a
// Content-Length taken, a release signature checked.
#include "fuzzsupport.h"

#include "common/basictext.h"
#include "common/modmain.h"
#include "liveupdate/liveupdate.h"
#include "liveupdate/liveupdaterules.h"
#include "liveupdate/releasesignature.h"
#include "news/newsticker.h"
#include "platform/textcodec.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace rules = liveUpdateRules;

namespace {

// `text` is lines each followed by CR LF, and they are the lines of `lines` from `from` on; after
// them comes the end or a line that `stops`.
void checkSection(const QStringList &lines, qsizetype from, const QString &text, auto stops)
{
    FUZZ_CHECK(text.isEmpty() || text.endsWith(QLatin1String("\r\n")), QStringLiteral("no CR LF at the end"));
    const QStringList pieces = text.isEmpty() ? QStringList() : text.chopped(2).split(QLatin1String("\r\n"));
    FUZZ_CHECK(pieces == lines.mid(from, pieces.size()), QStringLiteral("the section is not the file's lines"));
    const qsizetype end = from + pieces.size();
    FUZZ_CHECK(
        end == lines.size() || stops(end), QStringLiteral("the section stops before \"%1\"").arg(lines.value(end)));
    for (qsizetype i = from; i < end; ++i)
        FUZZ_CHECK(!stops(i), QStringLiteral("the section runs past \"%1\"").arg(lines.at(i)));
}

// A name from the server never leads the download out of its folder.
void checkArchiveName(const QString &folder, const QString &remote)
{
    const QString local = rules::localArchiveName(remote);
    const QString target = QDir::cleanPath(folder + QLatin1Char('/') + local);
    FUZZ_CHECK(local.isEmpty()
            || (!local.contains(QLatin1Char('\\'))
                && QString(remote).replace(QLatin1Char('\\'), QLatin1Char('/')).endsWith(local)
                && QFileInfo(target).path() == folder && target != folder),
        QStringLiteral("\"%1\" from \"%2\" lands at %3").arg(local, remote, target));
}

void checkContentLength(const QByteArray &header)
{
    const std::optional<qint64> length = rules::contentLength(header);
    QByteArray digits = header.trimmed();
    const bool allDigits
        = !digits.isEmpty() && std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
    while (digits.size() > 1 && digits.startsWith('0'))
        digits.remove(0, 1);
    // A whole count up to 18 digits is taken as it is; anything else is refused.
    FUZZ_CHECK(length ? allDigits && QByteArray::number(*length) == digits : !allDigits || digits.size() > 18,
        QStringLiteral("\"%1\" read as %2").arg(header).arg(length.value_or(-1)));
}

void checkNews(const QStringList &lines, const QList<NewsRecord> &records)
{
    // Four lines a record; reading stops at the end or at the first blank headline, nowhere else.
    for (qsizetype i = 0; i < records.size(); ++i) {
        const NewsRecord &record = records.at(i);
        FUZZ_CHECK(!basicText::trimBlanks(record.headline).isEmpty() && record.headline == lines.value(4 * i)
                && record.description == lines.value(4 * i + 1) && record.link == lines.value(4 * i + 2),
            QStringLiteral("record %1 is not lines %2 to %3").arg(i).arg(4 * i).arg(4 * i + 2));
    }
    const qsizetype next = records.size() * 4;
    FUZZ_CHECK(next < lines.size() + 4 && (next >= lines.size() || basicText::trimBlanks(lines.at(next)).isEmpty()),
        QStringLiteral("%1 records from %2 lines").arg(records.size()).arg(lines.size()));
}

} // namespace

VEXAL_FUZZ_TARGET(versionfile)
{
    const fuzzSupport::InputFile input(data, size, QStringLiteral("_versions.txt"));
    const QByteArray &bytes = input.bytes;
    const QString path = input.path();
    FixTextFile(path);
    // Nothing but a CR before each LF and a CR LF at the end is added.
    const QByteArray fixed = fuzzSupport::readFile(path);
    FUZZ_CHECK(fixed == rules::normalisedTextFile(bytes) && fixed.endsWith("\r\n")
            && fixed.chopped(2).replace("\r\n", "\n") == bytes && fixed.count("\r\n") == bytes.count('\n') + 1
            && fixed.count('\n') == bytes.count('\n') + 1,
        QStringLiteral("the fixed file is not the input with CR LF line ends"));

    const auto value = [&path](QLatin1String section, const char *key) {
        return modMain::readIniString(section, QLatin1String(key), rules::Missing, path);
    };
    const QString newest = value(rules::SwitchesSection, "newest");
    const QString newer = value(rules::SwitchesSection, "newer");
    const QString text = TextCodec(QStringLiteral("1252")).decode(fixed);
    const QStringList lines = basicText::lineInputLines(text);

    // The description: the lines after its heading as they stand, up to one that begins with '['.
    const QString description = rules::alphaDescription(lines);
    const qsizetype marker = lines.indexOf(QStringLiteral("[Alpha/Beta Description]"));
    FUZZ_CHECK(marker >= 0 || description.isEmpty(), QStringLiteral("a description without its heading"));
    if (marker >= 0)
        checkSection(
            lines, marker + 1, description, [&](qsizetype i) { return lines.at(i).startsWith(QLatin1Char('[')); });

    // The switches: the trimmed lines after [newest] up to [newer]; none once [newer] has passed.
    QStringList trimmed;
    for (const QString &line : lines)
        trimmed.append(basicText::trimBlanks(line));
    const QString block = rules::newestSwitchBlock(lines, newest, newer);
    const qsizetype startAt = trimmed.indexOf(QLatin1Char('[') + newest + QLatin1Char(']'));
    const qsizetype stopAt = trimmed.indexOf(QLatin1Char('[') + newer + QLatin1Char(']'));
    if (startAt < 0 || (stopAt >= 0 && stopAt <= startAt))
        FUZZ_CHECK(block.isEmpty(), QStringLiteral("switches without their heading [%1]").arg(newest));
    else
        checkSection(trimmed, startAt + 1, block, [&](qsizetype i) { return i == stopAt; });

    const QString folder = QDir::cleanPath(input.folder());
    for (const QLatin1String section : {rules::StableSection, rules::AlphaSection}) {
        checkArchiveName(folder, value(section, "winfilename"));
        checkArchiveName(folder, value(section, "dosfilename"));
    }
    const QByteArray firstLine = bytes.left(bytes.indexOf('\n'));
    checkArchiveName(folder, QString::fromLatin1(firstLine));
    checkContentLength(firstLine);
    checkNews(lines, readNewsRecords(text));

    // No signature the input can carry makes its own bytes pass for a release.
    const QByteArray signature
        = modMain::readIniString(QStringLiteral("VexalP"), QStringLiteral("exesig"), {}, path).toLatin1();
    FUZZ_CHECK(!releaseSignature::check(bytes, signature, releaseSignature::builtInKey()).isEmpty(),
        QStringLiteral("the input passed the release key's check"));
    return 0;
}
