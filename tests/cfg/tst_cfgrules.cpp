// How configuration files and new-graphics lists are split, trimmed, coloured and given headers.
#include "cfg/cfgrules.h"

#include <QtTest>

using namespace cfgRules;

class CfgRulesTest : public QObject {
    Q_OBJECT

private slots:
    void linesEndAtCrLfOrLoneCr_data();
    void linesEndAtCrLfOrLoneCr();
    void configurationLinesAreTrimmedWithoutBlanks();
    void listKeepsOneBlankOfARun();
    void lineKinds_data();
    void lineKinds();
    void lineStartRule_data();
    void lineStartRule();
    void headersAreFoundAnywhereInAnyCase();
    void fourLineBreaksBecomeTwo();
    void refusedFileNames_data();
    void refusedFileNames();
};

void CfgRulesTest::linesEndAtCrLfOrLoneCr_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("crlf") << QStringLiteral("a\r\nb\r\n") << QStringList {"a", "b"};
    QTest::newRow("lone cr") << QStringLiteral("a\rb") << QStringList {"a", "b"};
    QTest::newRow("lone lf stays") << QStringLiteral("a\nb\r\nc") << QStringList {"a\nb", "c"};
    QTest::newRow("lf only file is one line") << QStringLiteral("x\ny\n") << QStringList {"x\ny\n"};
    QTest::newRow("blank lines kept here") << QStringLiteral("a\r\n\r\n\rb") << QStringList {"a", "", "", "b"};
    QTest::newRow("empty") << QString() << QStringList {};
}

void CfgRulesTest::linesEndAtCrLfOrLoneCr()
{
    QFETCH(QString, text);
    QFETCH(QStringList, lines);
    QCOMPARE(splitLines(text), lines);
}

void CfgRulesTest::configurationLinesAreTrimmedWithoutBlanks()
{
    const QStringList read = configurationLines({"  multihead 4  ", "", "   ", "\tindented", "//c  "});
    QCOMPARE(read, (QStringList {"multihead 4", "\tindented", "//c"})); // blanks only: a tab stays
}

void CfgRulesTest::listKeepsOneBlankOfARun()
{
    QCOMPARE(listLines({"", "a.grf", "", "", "", " #b.grf ", "", ""}), (QStringList {"", "a.grf", "", "#b.grf", ""}));
}

void CfgRulesTest::lineKinds_data()
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

void CfgRulesTest::lineKinds()
{
    QFETCH(QString, line);
    QFETCH(int, cfgKind);
    QFETCH(int, listKind);
    QCOMPARE(int(cfgLineKind(line)), cfgKind);
    QCOMPARE(int(listLineKind(line)), listKind);
    QCOMPARE(colourOf(LineKind::Comment), QColor(0, 128, 0));
    QCOMPARE(colourOf(LineKind::Heading), QColor(0, 128, 128));
    QVERIFY(!colourOf(LineKind::Other).isValid());
}

void CfgRulesTest::lineStartRule_data()
{
    QTest::addColumn<int>("offset");
    QTest::addColumn<QString>("before");
    QTest::addColumn<bool>("recolours");
    QTest::newRow("start of text") << 0 << QString() << true;
    QTest::newRow("fifth character") << 4 << QStringLiteral("abcd") << true;
    QTest::newRow("sixth character") << 5 << QStringLiteral("bcde") << false;
    QTest::newRow("first column") << 40 << QStringLiteral("x\r\n") << true;
    QTest::newRow("third column") << 40 << QStringLiteral("\nab") << true;
    QTest::newRow("fourth column") << 40 << QStringLiteral("abc") << false;
}

void CfgRulesTest::lineStartRule()
{
    QFETCH(int, offset);
    QFETCH(QString, before);
    QFETCH(bool, recolours);
    QCOMPARE(cfgRules::lineStartRule(offset, before), recolours);
}

void CfgRulesTest::headersAreFoundAnywhereInAnyCase()
{
    QVERIFY(hasHeader(QStringLiteral("multihead 4 //TTDPATCH= here"), PatchHeaderMark));
    QVERIFY(!hasHeader(QStringLiteral("// ttdpatch"), PatchHeaderMark));
    QVERIFY(hasHeader(QStringLiteral("x\r\n//Vexal"), VexalHeaderMark));
    QCOMPARE(vexalHeader(QStringLiteral("1.2.5")), QStringLiteral("//vexal=File created by Vexal Pro 1.2.5"));
    QCOMPARE(patchHeader(QStringLiteral("none")), QStringLiteral("//ttdpatch=Detected TTDPatch versions is none"));
}

void CfgRulesTest::fourLineBreaksBecomeTwo()
{
    QCOMPARE(thinLineBreaks(QStringLiteral("a\r\n\r\n\r\n\r\nb")), QStringLiteral("a\r\n\r\nb"));
    QCOMPARE(thinLineBreaks(QStringLiteral("a\r\n\r\n\r\nb")), QStringLiteral("a\r\n\r\nb"));
    QCOMPARE(thinLineBreaks(QStringLiteral("a\r\nb\r\n")), QStringLiteral("a\r\nb\r\n"));
}

void CfgRulesTest::refusedFileNames_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("list");
    QTest::addColumn<bool>("sound");
    QTest::newRow("newgrf") << QStringLiteral("/g/NEWGRF.CFG") << true << false;
    QTest::newRow("newgrfw") << QStringLiteral("/g/NewGrfW.cfg") << true << false;
    QTest::newRow("ends with it") << QStringLiteral("/g/mynewgrf.cfg") << true << false;
    QTest::newRow("sound") << QStringLiteral("/g/Sound.CFG") << false << true;
    QTest::newRow("configuration") << QStringLiteral("/g/ttdpatch.cfg") << false << false;
}

void CfgRulesTest::refusedFileNames()
{
    QFETCH(QString, path);
    QFETCH(bool, list);
    QFETCH(bool, sound);
    QCOMPARE(isNewGraphicsList(path), list);
    QCOMPARE(isSoundSettings(path), sound);
}

QTEST_MAIN(CfgRulesTest)
#include "tst_cfgrules.moc"
