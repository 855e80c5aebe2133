// A TTDPatch configuration file and a new-graphics list (newgrf.cfg) as their editors read them;
// the configuration then judged against a switch list, and read as a switch list itself.
#include "fuzzsupport.h"

#include "cfg/cfgrules.h"
#include "cfg/editortext.h"
#include "cfg/switchcheck.h"
#include "platform/textcodec.h"

#include <QPlainTextEdit>

namespace {

// Decoded as code page 1252, split, the lines `linesOf` keeps put into an editor coloured by
// `kindOf`. Opened and saved unchanged, the text must encode back to the same bytes and the editor
// give back its lines, each followed by CR LF.
QStringList readIntoEditor(
    const QByteArray &bytes, QStringList (*linesOf)(const QStringList &), cfgRules::LineKind (*kindOf)(QStringView))
{
    const TextCodec codec(QStringLiteral("1252"));
    const QString text = codec.decode(bytes);
    FUZZ_CHECK(codec.encode(text) == bytes, QStringLiteral("code page 1252 does not give the bytes back"));
    const QStringList lines = linesOf(cfgRules::splitLines(text));
    QPlainTextEdit editor;
    EditorText inEditor(editor);
    inEditor.setLines(lines, [kindOf](const QString &line) { return cfgRules::colourOf(kindOf(line)); });
    FUZZ_CHECK(inEditor.text() == (lines.isEmpty() ? QString() : lines.join(u"\r\n") + u"\r\n"),
        QStringLiteral("the editor's text is not its lines"));
    return lines;
}

} // namespace

VEXAL_FUZZ_TARGET(configuration)
{
    const QByteArray bytes = fuzzSupport::bytesOf(data, size);
    readIntoEditor(bytes, cfgRules::listLines, cfgRules::listLineKind);
    const QStringList lines = readIntoEditor(bytes, cfgRules::configurationLines, cfgRules::cfgLineKind);
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
