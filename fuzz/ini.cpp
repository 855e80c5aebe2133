// An INI file read with the Windows profile-string rules (modMain::readIniString), for the
// sections and keys of the servers' files and for the first section and key of the input itself.
#include "fuzzsupport.h"

#include "common/basictext.h"
#include "common/modmain.h"

namespace {

// ASCII letters only: that is the case the rules ignore.
QString swappedCase(QString text)
{
    for (QChar &c : text) {
        if (c.isLetter() && c.unicode() < 0x80)
            c = QChar(char16_t(c.unicode() ^ 0x20));
    }
    return text;
}

// The first "[section]" of the input and the first "key=" line below it, as far as a plain reading
// of the bytes finds them: names the fuzzer can then mutate into near misses.
std::pair<QString, QString> firstSectionAndKey(const QString &text)
{
    QString section;
    bool inSection = false;
    for (const QString &line : basicText::lineInputLines(text)) {
        const QString t = line.trimmed();
        if (!inSection && t.startsWith(QLatin1Char('['))) {
            section = t.mid(1).section(QLatin1Char(']'), 0, 0).trimmed();
            inSection = true;
        } else if (inSection && t.contains(QLatin1Char('='))) {
            return {section, t.section(QLatin1Char('='), 0, 0).trimmed()};
        }
    }
    return {section, QString()};
}

void checkLookup(const QString &path, const QByteArray &bytes, const QString &section, const QString &key)
{
    const QString utf8 = QString::fromUtf8(bytes), latin1 = QString::fromLatin1(bytes);
    // Two defaults that differ: a value found in the file comes back the same with either.
    const QString first = QStringLiteral(" \x01one");
    const QString value = modMain::readIniString(section, key, first, path);
    FUZZ_CHECK(value.size() <= 254 && !value.contains(QLatin1Char('\r')) && !value.contains(QLatin1Char('\n')), value);
    FUZZ_CHECK(modMain::readIniString(swappedCase(section), swappedCase(key), first, path) == value,
        QStringLiteral("letter case of [%1] %2 matters").arg(section, key));
    const QString other = modMain::readIniString(section, key, QStringLiteral(" \x01two  "), path);
    if (other != value) {
        // Not found: the default comes back without its trailing blanks.
        FUZZ_CHECK(value == first && other == QStringLiteral(" \x01two"), value + QLatin1Char('|') + other);
    } else {
        FUZZ_CHECK(
            utf8.contains(value) || latin1.contains(value), QStringLiteral("\"%1\" is not in the file").arg(value));
        FUZZ_CHECK(basicText::containsIgnoringCase(utf8, section) || basicText::containsIgnoringCase(latin1, section),
            QStringLiteral("a value without its section [%1]").arg(section));
    }
    // A key name ends at the first '=', so a key that holds one is never found.
    FUZZ_CHECK(modMain::readIniString(section, key + QLatin1Char('='), first, path) == first,
        QStringLiteral("found a key with '=' in it"));
}

} // namespace

VEXAL_FUZZ_TARGET(ini)
{
    const fuzzSupport::InputFile input(data, size, QStringLiteral("file.ini"));
    const auto [section, key] = firstSectionAndKey(QString::fromLatin1(input.bytes));
    const std::pair<QString, QString> lookups[]
        = {{section, key}, {QStringLiteral("TTDP Stable"), QStringLiteral("version")},
            {QStringLiteral("TTDP Alpha-Beta"), QStringLiteral("winfilename")},
            {QStringLiteral("Latest Versions Switches"), QStringLiteral("newest")},
            {QStringLiteral("VexalP"), QStringLiteral("version")}};
    for (const auto &[s, k] : lookups)
        checkLookup(input.path(), input.bytes, s, k);
    // Reading never changes the file.
    FUZZ_CHECK(fuzzSupport::readFile(input.path()) == input.bytes, QStringLiteral("the file changed"));
    return 0;
}
