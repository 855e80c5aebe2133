// The shared rules: numbers and case in text, the error trap, INI reading, files and mail addresses.
#include "common/basictext.h"
#include "common/errortrap.h"
#include "common/modmain.h"
#include "testsupport.h"

#include <QtTest>
#include <QUrlQuery>

#include <limits>
#include <stdexcept>

namespace {

class RecordingReporter final : public ErrorReporter {
public:
    QStringList reports;
    void showReport(const QString &reportText) override { reports.append(reportText); }
};

} // namespace

class TestCommon : public QObject {
    Q_OBJECT

private slots:
    void basicTextRules()
    {
        constexpr qint64 Largest = std::numeric_limits<qint64>::max();
        const QList<std::pair<QString, qint64>> numbers = {{"", 0}, {"abc", 0}, {"  12", 12}, {"-7", -7}, {"- 3", 0},
            {"12abc", 12}, {"9223372036854775808", Largest}, {"-99999999999999999999999x", -Largest}};
        for (const auto &[text, number] : numbers)
            QCOMPARE(basicText::leadingNumber(text), number);
        QCOMPARE(basicText::trimBlanks(" \t a b \r\n "), QStringLiteral("\t a b \r\n"));
        QCOMPARE(basicText::trimBlanks("   "), QString());
        // Case folding is ASCII only. a, b, equal, a contains b
        const QList<std::tuple<QString, QString, bool, bool>> cases
            = {{"VexalP", "vEXALp", true, true}, {"ÄB", "äb", false, false}, {"[VexalP] x", "vexalp", false, true},
                {"abc", "abcd", false, false}, {"@[", "`{", false, false}};
        for (const auto &[a, b, equal, aContainsB] : cases) {
            QCOMPARE(basicText::equalsIgnoringCase(a, b), equal);
            QCOMPARE(basicText::equalsIgnoringCase(b, a), equal);
            QCOMPARE(basicText::containsIgnoringCase(a, b), aContainsB);
        }
    }

    // Only run-time errors are caught; later steps still run, and the later error is reported once.
    void trapReportsTheLaterErrorOnce()
    {
        RecordingReporter reporter;
        ErrorTrap trap(&reporter);
        trap.step([] {});
        trap.report("@ frmMain Load");
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, trap.step([] { throw std::runtime_error("not ours"); }));
        QStringList ran;
        trap.step([&] {
            ran << "1";
            throw RuntimeError::of(53);
            ran << "1 after";
        });
        trap.step([&] {
            ran << "2";
            throw RuntimeError::of(5);
        });
        trap.step([&] { ran << "3"; });
        QCOMPARE(ran, QStringList({"1", "2", "3"}));
        trap.report("@ ReadSettings");
        trap.report("@ ReadSettings");
        QCOMPARE(
            reporter.reports, QStringList {"Error code # 5\r\nInvalid procedure call or argument\r\n@ ReadSettings"});
        QCOMPARE(RuntimeError::of(9999).description, QStringLiteral("Application-defined or object-defined error"));
    }

    void readIniString_data()
    {
        QTest::addColumn<QByteArray>("file"); // null: no file at all
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("defaultValue");
        QTest::addColumn<QString>("value");
        const auto row = [](const char *name, const QByteArray &file, const QString &section, const QString &key,
                             const QString &defaultValue, const QString &value) {
            QTest::newRow(name) << file << section << key << defaultValue << value;
        };
        const QByteArray versions = "[Stable]\nVersion=2.0.1\n[Alpha]\nVersion = 2.5 beta 3\n";
        row("names ignore case", versions, "aLPHA", "VERSION", "-", "2.5 beta 3");
        row("missing key", versions, "Stable", "Date", "none", "none");
        row("missing file", QByteArray(), "Stable", "Version", "none", "none");
        row("blanks and tabs trimmed", "[s]\nk= \t v a l \t \n", "s", "k", "", "v a l");
        row("matched quotes", "[s]\nk=\" x \"\n", "s", "k", "", " x ");
        row("unmatched quotes", "[s]\nk=\"x'\n", "s", "k", "", "\"x'");
        row("first section wins", "[s]\na=1\n[t]\nb=2\n[S]\na=3\nb=4\n", "s", "a", "", "1");
        row("later section of the name unread", "[s]\na=1\n[t]\n[S]\nb=4\n", "s", "b", "none", "none");
        row("CR LF", "[s]\r\nk=v\r\nj=w\r\n", "s", "k", "", "v");
        row("default trailing blanks", versions, "s", "k", "  none  ", "  none");
        row("value cut", "[s]\nk=" + QByteArray(300, 'v') + "\n", "s", "k", "", QString(254, 'v'));
    }
    void readIniString()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, defaultValue);
        QTemporaryDir dir;
        const QString path = dir.filePath("_versions.txt");
        if (!file.isNull())
            writeBytes(path, file);
        QTEST(modMain::readIniString(section, key, defaultValue, path), "value");
    }

    void fileExistsAndDeleteIfExists()
    {
        QTemporaryDir dir;
        for (const char *file : {"ttdpatch.cfg", ".hidden", "readonly.cfg"})
            writeBytes(dir.filePath(file), "x");
        QVERIFY(QFile::setPermissions(dir.filePath("readonly.cfg"), QFile::ReadOwner));
        QVERIFY(QDir(dir.path()).mkdir("newgrf"));
        const QList<std::pair<QString, bool>> cases = {{"ttdpatch.cfg", true}, {"readonly.cfg", true},
            {".hidden", false}, {"newgrf", false}, {"nothing.cfg", false}};
        for (const auto &[name, exists] : cases)
            QVERIFY2(modMain::fileExists(dir.filePath(name)) == exists, qPrintable(name));
        for (const char *name : {"ttdpatch.cfg", "newgrf", "missing"})
            modMain::deleteIfExists(dir.filePath(name));
        QVERIFY(!QFileInfo::exists(dir.filePath("ttdpatch.cfg")));
        QVERIFY(QFileInfo(dir.filePath("newgrf")).isDir());
    }

    void mailAddressKeepsTheWholeSubject()
    {
        for (const QString &subject : QStringList {"a&b=c", "bug #5 here", "100%? ok", "Vexal Pro ñandú"}) {
            const QUrl url(modMain::mailReportAddress(subject), QUrl::StrictMode);
            QVERIFY2(url.isValid() && url.scheme() == QLatin1String("mailto"), qPrintable(url.toString()));
            QVERIFY(!url.hasFragment());
            const QUrlQuery query(url);
            QCOMPARE(query.queryItems().size(), 1);
            QCOMPARE(query.queryItemValue("subject", QUrl::FullyDecoded), subject);
        }
    }
};

QTEST_MAIN(TestCommon)
#include "tst_common.moc"
