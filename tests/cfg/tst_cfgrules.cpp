// How configuration files and new-graphics lists are split, trimmed, coloured and given headers.
#include "cfg/cfgrules.h"

#include <QtTest>

using namespace cfgRules;

class CfgRulesTest : public QObject {
    Q_OBJECT

private slots:
    // Each row: what a rule gives, and what it should give.
    void rules_data()
    {
        QTest::addColumn<QStringList>("actual");
        QTest::addColumn<QStringList>("expected");
        const auto row = [](const char *name, const QStringList &actual, const QStringList &expected) {
            QTest::newRow(name) << actual << expected;
        };
        const auto yes = [](bool value) { return QString::fromLatin1(value ? "yes" : "no"); };
        row("CR LF ends lines", splitLines("a\r\nb\r\n"), {"a", "b"});
        row("lone CR ends lines", splitLines("a\rb"), {"a", "b"});
        row("lone LF stays", splitLines("a\nb\r\nc"), {"a\nb", "c"});
        row("LF only file is one line", splitLines("x\ny\n"), {"x\ny\n"});
        row("blank lines kept in the split", splitLines("a\r\n\r\n\rb"), {"a", "", "", "b"});
        row("no text, no lines", splitLines(QString()), {});
        // Blanks only are trimmed: a tab stays.
        row("configuration lines trimmed, blank ones dropped",
            configurationLines({"  multihead 4  ", "", "   ", "\tindented", "//c  "}),
            {"multihead 4", "\tindented", "//c"});
        row("list keeps one blank of a run", listLines({"", "a.grf", "", "", "", " #b.grf ", "", ""}),
            {"", "a.grf", "", "#b.grf", ""});
        row("four line breaks become two", {thinLineBreaks("a\r\n\r\n\r\n\r\nb")}, {"a\r\n\r\nb"});
        row("three line breaks become two", {thinLineBreaks("a\r\n\r\n\r\nb")}, {"a\r\n\r\nb"});
        row("single line breaks stay", {thinLineBreaks("a\r\nb\r\n")}, {"a\r\nb\r\n"});
        row("patch header anywhere in any case", {yes(hasHeader("multihead 4 //TTDPATCH= here", PatchHeaderMark))},
            {"yes"});
        row("patch header needs its sign", {yes(hasHeader("// ttdpatch", PatchHeaderMark))}, {"no"});
        row("vexal header on any line", {yes(hasHeader("x\r\n//Vexal", VexalHeaderMark))}, {"yes"});
        row("vexal header", {vexalHeader("1.2.5")}, {"//vexal=File created by Vexal Pro 1.2.5"});
        row("patch header", {patchHeader("none")}, {"//ttdpatch=Detected TTDPatch versions is none"});
        row("comment colour", {colourOf(LineKind::Comment).name(QColor::HexArgb)}, {"#ff008000"});
        row("heading colour", {colourOf(LineKind::Heading).name(QColor::HexArgb)}, {"#ff008080"});
        row("other lines keep the text colour", {yes(colourOf(LineKind::Other).isValid())}, {"no"});
        // Typing recolours a line near its start: the offset typed at and the text before it.
        row("start of text", {yes(lineStartRule(0, {}))}, {"yes"});
        row("fifth character", {yes(lineStartRule(4, u"abcd"))}, {"yes"});
        row("sixth character", {yes(lineStartRule(5, u"bcde"))}, {"no"});
        row("first column", {yes(lineStartRule(40, u"x\r\n"))}, {"yes"});
        row("third column", {yes(lineStartRule(40, u"\nab"))}, {"yes"});
        row("fourth column", {yes(lineStartRule(40, u"abc"))}, {"no"});
        // Files refused as the configuration: a new-graphics list, the sound settings.
        for (const auto &[path, list, sound] :
            {std::tuple {"/g/NEWGRF.CFG", true, false}, {"/g/NewGrfW.cfg", true, false},
                {"/g/mynewgrf.cfg", true, false}, {"/g/Sound.CFG", false, true}, {"/g/ttdpatch.cfg", false, false}})
            row(path, {yes(isNewGraphicsList(path)), yes(isSoundSettings(path))}, {yes(list), yes(sound)});
    }

    void rules()
    {
        QFETCH(QStringList, actual);
        QTEST(actual, "expected");
    }

    void lineKinds_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("cfgKind");
        QTest::addColumn<int>("listKind");
        QTest::newRow("comment") << QStringLiteral("// note") << int(LineKind::Comment) << int(LineKind::Other);
        QTest::newRow("comment before heading")
            << QStringLiteral("//[x]") << int(LineKind::Comment) << int(LineKind::Other);
        QTest::newRow("one slash") << QStringLiteral("/ x") << int(LineKind::Other) << int(LineKind::Other);
        QTest::newRow("heading") << QStringLiteral("[moreships]") << int(LineKind::Heading) << int(LineKind::Other);
        QTest::newRow("disabled") << QStringLiteral("#newgrf/a.grf") << int(LineKind::Other) << int(LineKind::Disabled);
        QTest::newRow("indented comment") << QStringLiteral(" //x") << int(LineKind::Other) << int(LineKind::Other);
    }

    void lineKinds()
    {
        QFETCH(QString, line);
        QTEST(int(cfgLineKind(line)), "cfgKind");
        QTEST(int(listLineKind(line)), "listKind");
    }
};

QTEST_MAIN(CfgRulesTest)
#include "tst_cfgrules.moc"
