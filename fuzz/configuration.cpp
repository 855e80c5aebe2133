// A TTDPatch configuration file as the cfg editor reads it: code page 1252, lines ended by CR LF or
// a lone CR, trimmed and without blank lines, coloured by their first characters; then judged
// against a switch list, and read as a switch list itself.
#include "fuzzsupport.h"

#include "cfg/switchcheck.h"

VEXAL_FUZZ_TARGET(configuration)
{
    const fuzzSupport::Reading reading
        = fuzzSupport::read(fuzzSupport::bytesOf(data, size), cfgRules::configurationLines, cfgRules::cfgLineKind);
    for (const QString &line : reading.lines) {
        FUZZ_CHECK(!line.isEmpty(), QStringLiteral("a blank line reached the editor"));
        const cfgRules::LineKind kind = cfgRules::cfgLineKind(line);
        const bool comment = line.startsWith(QLatin1String("//"));
        const bool heading = line.startsWith(QLatin1Char('['));
        FUZZ_CHECK((kind == cfgRules::LineKind::Comment) == comment, line);
        FUZZ_CHECK((kind == cfgRules::LineKind::Heading) == (heading && !comment), line);
        FUZZ_CHECK((kind == cfgRules::LineKind::Other) == (!comment && !heading), line);
    }
    static const switchCheck::SwitchList list = switchCheck::SwitchList::parse(QStringLiteral(
        "2.6\n-YA abandonedroads 0 2 0 d\n-Xa autorenew -128 127 -6 d\n-Xb bribe - - - d\n- cdpath - - - d\n"
        "- cdstcargoclassgentype 0 4194303 4194303 Default 33333333333."));
    int previous = 0;
    for (const switchCheck::Finding &finding : switchCheck::check(list, reading.lines)) {
        FUZZ_CHECK(finding.line >= previous && finding.line <= reading.lines.size(), finding.message);
        previous = finding.line;
    }
    for (const QString &line : reading.lines) {
        const switchCheck::Setting setting = switchCheck::settingOf(line);
        FUZZ_CHECK(setting.valueStart + setting.valueLength <= line.size(), line);
        FUZZ_CHECK(setting.key.isEmpty() || line.at(setting.nameStart).isLetter(), line);
    }
    switchCheck::SwitchList::parse(reading.split.join(QLatin1Char('\n'))).names();
    return 0;
}
