// A TTDPatch configuration file as the cfg editor reads it, then judged against a switch list, and
// read as a switch list itself.
#include "fuzzsupport.h"

#include "cfg/switchcheck.h"

VEXAL_FUZZ_TARGET(configuration)
{
    const QByteArray bytes = fuzzSupport::bytesOf(data, size);
    const QStringList lines = fuzzSupport::readIntoEditor(bytes, cfgRules::configurationLines, cfgRules::cfgLineKind);
    static const switchCheck::SwitchList list = switchCheck::SwitchList::parse(QStringLiteral(
        "2.6\n-YA abandonedroads 0 2 0 d\n-Xa autorenew -128 127 -6 d\n-Xb bribe - - - d\n- cdpath - - - d\n"
        "- cdstcargoclassgentype 0 4194303 4194303 Default 33333333333."));
    // Each finding names a line of the file, in order: an editor jumps there.
    int previous = 0;
    for (const switchCheck::Finding &finding : switchCheck::check(list, lines)) {
        FUZZ_CHECK(finding.line >= previous && finding.line <= lines.size(), finding.message);
        previous = finding.line;
    }
    switchCheck::SwitchList::parse(QString::fromLatin1(bytes)).names();
    return 0;
}
