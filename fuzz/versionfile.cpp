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

namespace rules = liveUpdateRules;

namespace {

const QString CrLf = QStringLiteral("\r\n");

// The pieces of a text made of lines each followed by CR LF; none when it is empty.
QStringList piecesOf(const QString &text)
{
    if (text.isEmpty())
        return {};
    FUZZ_CHECK(text.endsWith(CrLf), QStringLiteral("the text does not end with CR LF"));
    return text.chopped(2).split(CrLf);
}

void checkNormalised(const QByteArray &bytes, const QByteArray &fixed)
{
    FUZZ_CHECK(fixed == rules::normalisedTextFile(bytes), QStringLiteral("the fixed file is not the normalised text"));
    FUZZ_CHECK(fixed.endsWith("\r\n"), QStringLiteral("no CR LF at the end"));
    FUZZ_CHECK(fixed.size() == bytes.size() + bytes.count('\n') + 2, QStringLiteral("size of the fixed file"));
    for (qsizetype at = fixed.indexOf('\n'); at >= 0; at = fixed.indexOf('\n', at + 1))
        FUZZ_CHECK(at > 0 && fixed.at(at - 1) == '\r', QStringLiteral("a bare LF at %1").arg(at));
    // Nothing but the CRs before the LFs was added.
    FUZZ_CHECK(fixed.chopped(2).replace("\r\n", "\n") == bytes, QStringLiteral("the fixed file lost bytes"));
}

void checkDescription(const QStringList &lines, const QString &description)
{
    const QStringList pieces = piecesOf(description);
    const qsizetype marker = lines.indexOf(QStringLiteral("[Alpha/Beta Description]"));
    if (marker < 0) {
        FUZZ_CHECK(description.isEmpty(), QStringLiteral("a description without its heading"));
        return;
    }
    // The lines after the heading as they stand, up to one that begins with '['.
    FUZZ_CHECK(pieces == lines.mid(marker + 1, pieces.size()), QStringLiteral("the description is not the file's"));
    const qsizetype end = marker + 1 + pieces.size();
    FUZZ_CHECK(end == lines.size() || lines.at(end).startsWith(QLatin1Char('[')),
        QStringLiteral("the description stops early, before \"%1\"").arg(lines.value(end)));
    for (const QString &piece : pieces)
        FUZZ_CHECK(!piece.startsWith(QLatin1Char('[')), QStringLiteral("a heading in the description"));
}

void checkSwitchBlock(const QStringList &lines, const QString &newest, const QString &newer, const QString &block)
{
    const QString start = QLatin1Char('[') + newest + QLatin1Char(']');
    const QString stop = QLatin1Char('[') + newer + QLatin1Char(']');
    QStringList trimmed;
    for (const QString &line : lines)
        trimmed.append(basicText::trimBlanks(line));
    const QStringList pieces = piecesOf(block);
    const qsizetype stopAt = trimmed.indexOf(stop);
    const qsizetype startAt = trimmed.indexOf(start);
    // Nothing is collected once the stop heading has been passed, even before the start heading.
    if (startAt < 0 || (stopAt >= 0 && stopAt <= startAt)) {
        FUZZ_CHECK(block.isEmpty(), QStringLiteral("switches without their heading [%1]").arg(newest));
        return;
    }
    FUZZ_CHECK(pieces == trimmed.mid(startAt + 1, pieces.size()), QStringLiteral("the switches are not the file's"));
    const qsizetype end = startAt + 1 + pieces.size();
    FUZZ_CHECK(end == trimmed.size() || end == stopAt, QStringLiteral("the switches stop at line %1").arg(end));

    const QString added = rules::withSwitchBlock(QString(), newest, block);
    FUZZ_CHECK(added.startsWith(CrLf + QLatin1String("// --- ") + newest) && added.endsWith(block + CrLf),
        QStringLiteral("the added switches"));
}

// A name from the server never leads the download out of its folder.
void checkArchiveName(const QString &folder, const QString &remote)
{
    const QString local = rules::localArchiveName(remote);
    if (local.isEmpty())
        return;
    FUZZ_CHECK(!local.contains(QLatin1Char('/')) && !local.contains(QLatin1Char('\\')) && local != QLatin1String(".")
            && local != QLatin1String(".."),
        QStringLiteral("\"%1\" from \"%2\" is no plain file name").arg(local, remote));
    FUZZ_CHECK(QString(remote).replace(QLatin1Char('\\'), QLatin1Char('/')).endsWith(local),
        QStringLiteral("\"%1\" is not the last part of \"%2\"").arg(local, remote));
    const QString target = QDir::cleanPath(folder + QLatin1Char('/') + local);
    FUZZ_CHECK(
        target.startsWith(folder + QLatin1Char('/')) && !target.mid(folder.size() + 1).contains(QLatin1Char('/')),
        QStringLiteral("\"%1\" lands at %2").arg(remote, target));
}

void checkContentLength(const QByteArray &header)
{
    const std::optional<qint64> length = rules::contentLength(header);
    const QByteArray digits = header.trimmed();
    const bool allDigits
        = !digits.isEmpty() && std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (!length) {
        FUZZ_CHECK(!allDigits || digits.size() > 18, QStringLiteral("refused the count \"%1\"").arg(digits));
        return;
    }
    FUZZ_CHECK(allDigits && *length >= 0, QStringLiteral("took \"%1\" for %2").arg(digits).arg(*length));
    QByteArray significant = digits;
    while (significant.size() > 1 && significant.startsWith('0'))
        significant.remove(0, 1);
    FUZZ_CHECK(
        QByteArray::number(*length) == significant, QStringLiteral("\"%1\" read as %2").arg(digits).arg(*length));
}

void checkNews(const QStringList &lines, const QList<NewsRecord> &records)
{
    // Four lines a record; reading past the end gives empty fields.
    FUZZ_CHECK(records.size() * 4 < lines.size() + 4,
        QStringLiteral("%1 records from %2 lines").arg(records.size()).arg(lines.size()));
    for (qsizetype i = 0; i < records.size(); ++i) {
        const NewsRecord &record = records.at(i);
        FUZZ_CHECK(!basicText::trimBlanks(record.headline).isEmpty(), QStringLiteral("a blank headline"));
        FUZZ_CHECK(record.headline == lines.value(4 * i) && record.description == lines.value(4 * i + 1)
                && record.link == lines.value(4 * i + 2),
            QStringLiteral("record %1 is not lines %2 to %3").arg(i).arg(4 * i).arg(4 * i + 2));
    }
    // Reading stops at the end or at the first blank headline, nowhere else.
    const qsizetype next = records.size() * 4;
    FUZZ_CHECK(next >= lines.size() || basicText::trimBlanks(lines.at(next)).isEmpty(),
        QStringLiteral("reading stopped before \"%1\"").arg(lines.value(next)));
}

} // namespace

VEXAL_FUZZ_TARGET(versionfile)
{
    const fuzzSupport::InputFile input(data, size, QStringLiteral("_versions.txt"));
    const QByteArray &bytes = input.bytes;
    const QString path = input.path();
    FixTextFile(path);
    const QByteArray fixed = fuzzSupport::readFile(path);
    checkNormalised(bytes, fixed);

    const auto value = [&path](QLatin1String section, const char *key) {
        return modMain::readIniString(section, QLatin1String(key), rules::Missing, path);
    };
    const QString newest = value(rules::SwitchesSection, "newest");
    const QString newer = value(rules::SwitchesSection, "newer");
    for (const QString &text : {value(rules::StableSection, "version"), value(rules::StableSection, "date"),
             value(rules::AlphaSection, "version"), value(rules::AlphaSection, "date"), newest, newer})
        FUZZ_CHECK(text.size() <= 254 && !text.contains(QLatin1Char('\n')), text);

    const QString text = TextCodec(QStringLiteral("1252")).decode(fixed);
    const QStringList lines = basicText::lineInputLines(text);
    for (const QString &line : lines)
        FUZZ_CHECK(!line.contains(QLatin1Char('\r')) && !line.contains(QLatin1Char('\n')), line);
    checkDescription(lines, rules::alphaDescription(lines));
    checkSwitchBlock(lines, newest, newer, rules::newestSwitchBlock(lines, newest, newer));

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
