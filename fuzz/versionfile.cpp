// A downloaded server text file as the release check, the patch install and the news line take it:
// its line ends fixed, its values read as an INI file, its lines read in code page 1252 for the
// release description, the new switches and the news records; archive names made local, a release
// signature checked.
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

namespace rules = liveUpdateRules;

VEXAL_FUZZ_TARGET(versionfile)
{
    const fuzzSupport::InputFile input(data, size, QStringLiteral("_versions.txt"));
    const QByteArray &bytes = input.bytes;
    const QString path = input.path();
    FixTextFile(path);
    // Nothing but a CR before each LF and a CR LF at the end is added.
    const QByteArray fixed = modMain::readWholeFile(path);
    FUZZ_CHECK(fixed.endsWith("\r\n") && fixed.chopped(2).replace("\r\n", "\n") == bytes
            && fixed.count('\n') == bytes.count('\n') + 1,
        QStringLiteral("the fixed file is not the input with CR LF line ends"));

    const auto value = [&path](QLatin1String section, const char *key) {
        return modMain::readIniString(section, QLatin1String(key), rules::Missing, path);
    };
    const QString text = TextCodec(QStringLiteral("1252")).decode(fixed);
    const QStringList lines = basicText::lineInputLines(text);
    rules::alphaDescription(lines);
    rules::newestSwitchBlock(lines, value(rules::SwitchesSection, "newest"), value(rules::SwitchesSection, "newer"));
    readNewsRecords(text);

    // A name from the server never leads the download out of its folder.
    const QString folder = QDir::cleanPath(input.folder());
    const QByteArray firstLine = bytes.left(bytes.indexOf('\n'));
    for (const QString &remote : {value(rules::StableSection, "winfilename"), value(rules::AlphaSection, "dosfilename"),
             QString::fromLatin1(firstLine)}) {
        const QString local = rules::localArchiveName(remote);
        const QString target = QDir::cleanPath(folder + QLatin1Char('/') + local);
        FUZZ_CHECK(local.isEmpty() || (QFileInfo(target).path() == folder && target != folder),
            QStringLiteral("\"%1\" from \"%2\" lands at %3").arg(local, remote, target));
    }
    // No signature the input can carry makes its own bytes pass for a release.
    const QByteArray signature
        = modMain::readIniString(QStringLiteral("VexalP"), QStringLiteral("exesig"), {}, path).toLatin1();
    FUZZ_CHECK(!releaseSignature::check(bytes, signature, releaseSignature::builtInKey()).isEmpty(),
        QStringLiteral("the input passed the release key's check"));
    return 0;
}
