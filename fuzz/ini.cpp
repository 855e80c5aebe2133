// An INI file read with the Windows profile-string rules (modMain::readIniString), for the
// sections and keys of the servers' files and for the first section and key of the input itself.
#include "fuzzsupport.h"

#include "common/basictext.h"
#include "common/modmain.h"

#include <QFile>

namespace {

constexpr qsizetype ReaderBuffer = 254;

QString swappedCase(const QString &text)
{
    QString swapped = text;
    for (QChar &c : swapped) {
        if (c >= u'a' && c <= u'z')
            c = QChar(char16_t(c.unicode() - 0x20));
        else if (c >= u'A' && c <= u'Z')
            c = QChar(char16_t(c.unicode() + 0x20));
    }
    return swapped;
}

// The first "[section]" of the input and the first "key=" line below it, as far as a plain reading
// of the bytes finds them: names the fuzzer can then mutate into near misses.
std::pair<QString, QString> firstSectionAndKey(const QString &text)
{
    QString section, key;
    bool inSection = false;
    for (const QString &line : basicText::lineInputLines(text)) {
        const QString t = line.trimmed();
        if (!inSection && t.startsWith(QLatin1Char('['))) {
            section = t.mid(1).section(QLatin1Char(']'), 0, 0).trimmed();
            inSection = true;
        } else if (inSection && t.contains(QLatin1Char('='))) {
            key = t.section(QLatin1Char('='), 0, 0).trimmed();
            break;
        }
    }
    return {section, key};
}

void checkLookup(const QString &path, const QByteArray &bytes, const QString &section, const QString &key)
{
    const QString fileText[] = {QString::fromUtf8(bytes), QString::fromLatin1(bytes)};
    // Two defaults that differ: a value found in the file comes back the same with either.
    const QString first = QStringLiteral(" \x01one");
    const QString second = QStringLiteral(" \x01two  ");
    const QString secondStripped = QStringLiteral(" \x01two");

    const QString value = modMain::readIniString(section, key, first, path);
    FUZZ_CHECK(value.size() <= ReaderBuffer, QStringLiteral("%1 characters").arg(value.size()));
    FUZZ_CHECK(!value.contains(QLatin1Char('\r')) && !value.contains(QLatin1Char('\n')),
        QStringLiteral("a value holds a line end"));
    // Deterministic, and section and key names ignore letter case.
    FUZZ_CHECK(modMain::readIniString(section, key, first, path) == value, QStringLiteral("second reading differs"));
    FUZZ_CHECK(modMain::readIniString(swappedCase(section), swappedCase(key), first, path) == value,
        QStringLiteral("letter case of [%1] %2 matters").arg(section, key));

    const QString other = modMain::readIniString(section, key, second, path);
    const bool found = other == value;
    if (!found) {
        FUZZ_CHECK(value == first && other == secondStripped,
            QStringLiteral("the defaults come back as \"%1\" and \"%2\"").arg(value, other));
    } else {
        FUZZ_CHECK(fileText[0].contains(value) || fileText[1].contains(value),
            QStringLiteral("\"%1\" is nowhere in the file").arg(value));
        FUZZ_CHECK(basicText::containsIgnoringCase(fileText[0], section)
                || basicText::containsIgnoringCase(fileText[1], section),
            QStringLiteral("a value without its section [%1]").arg(section));
    }
    // A key name ends at the first '=', so a key that holds one is never found.
    FUZZ_CHECK(modMain::readIniString(section, key + QLatin1Char('='), first, path) == first,
        QStringLiteral("found a key with '=' in it"));

    // The first section of a name counts: another one after the end changes nothing once it was found.
    const QString appendedPath = path + QStringLiteral(".appended");
    fuzzSupport::writeFile(appendedPath,
        bytes + "\r\n[" + section.toUtf8() + "]\r\n" + key.toUtf8()
            + "=\x02"
              "appended\r\n");
    const QString afterAppend = modMain::readIniString(section, key, first, appendedPath);
    if (found)
        FUZZ_CHECK(afterAppend == value, QStringLiteral("\"%1\" became \"%2\"").arg(value, afterAppend));
    QFile::remove(appendedPath);
}

} // namespace

VEXAL_FUZZ_TARGET(ini)
{
    const fuzzSupport::InputFile input(data, size, QStringLiteral("file.ini"));
    const QByteArray &bytes = input.bytes;
    const QString path = input.path();

    const auto [section, key] = firstSectionAndKey(QString::fromLatin1(bytes));
    const std::pair<QString, QString> lookups[] = {
        {section, key},
        {QStringLiteral("TTDP Stable"), QStringLiteral("version")},
        {QStringLiteral("TTDP Alpha-Beta"), QStringLiteral("winfilename")},
        {QStringLiteral("Latest Versions Switches"), QStringLiteral("newest")},
        {QStringLiteral("VexalP"), QStringLiteral("version")},
    };
    for (const auto &[s, k] : lookups)
        checkLookup(path, bytes, s, k);

    // A missing file gives the default, its trailing blanks removed and cut to the reader's buffer.
    const QString longDefault = QString(300, QLatin1Char('x')) + QStringLiteral("  ");
    FUZZ_CHECK(modMain::readIniString(section, key, longDefault, input.folder() + QStringLiteral("/missing.ini"))
            == QString(ReaderBuffer, QLatin1Char('x')),
        QStringLiteral("default of a missing file"));

    // Reading never changes the file.
    FUZZ_CHECK(fuzzSupport::readFile(path) == bytes, QStringLiteral("the file changed"));
    return 0;
}
