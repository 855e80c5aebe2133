#include "common/basictext.h"
#include "common/errortrap.h"
#include "common/modmain.h"
#include "common/settingkeys.h"
#include "platform/settingsstore.h"
#include "testsupport.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>
#include <QUrlQuery>

#include <limits>
#include <stdexcept>

namespace {

constexpr qint64 Largest = std::numeric_limits<qint64>::max();

class RecordingReporter final : public ErrorReporter {
public:
    QStringList reports;
    void showReport(const QString &reportText) override { reports.append(reportText); }
};

void throwError(int number)
{
    throw RuntimeError::of(number);
}

} // namespace

class TestCommon : public QObject {
    Q_OBJECT

private slots:
    // --- Basic text rules ---------------------------------------------------------------------
    void basicTextRules()
    {
        const QList<std::pair<QString, qint64>> numbers = {{"", 0}, {"abc", 0}, {"  12", 12}, {"-7", -7}, {"- 3", 0},
            {"12abc", 12}, {"9223372036854775807", Largest}, {"9223372036854775808", Largest},
            {"-99999999999999999999999x", -Largest}};
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

    // --- Error trap ---------------------------------------------------------------------------
    void reportTextIsExact()
    {
        const QList<std::pair<int, QString>> cases = {{53, "File not found"}, {5, "Invalid procedure call or argument"},
            {1001, "Unsupported Value Type"}, {9999, "Application-defined or object-defined error"}};
        for (const auto &[number, description] : cases) {
            const RuntimeError error = RuntimeError::of(number);
            QCOMPARE(error.number, number);
            QCOMPARE(error.description, description);
            QCOMPARE(ErrorTrap::composeReport(error, "@ ReadSettings"),
                QString("Error code # " + QString::number(number) + "\r\n" + description + "\r\n@ ReadSettings"));
        }
    }

    void trapReportsTheLaterErrorOnceAndLaterStepsStillRun()
    {
        RecordingReporter reporter;
        ErrorTrap trap(&reporter);
        trap.step([] {});
        trap.report("@ frmMain Load");
        QVERIFY(reporter.reports.isEmpty());
        // Only run-time errors are caught.
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, trap.step([] { throw std::runtime_error("not ours"); }));
        QVERIFY(!trap.hasError());

        QStringList ran;
        trap.step([&] {
            ran << "1";
            throwError(53);
            ran << "1 after";
        });
        trap.step([&] {
            ran << "2";
            throwError(76);
        });
        trap.step([&] { ran << "3"; });
        QCOMPARE(ran, QStringList({"1", "2", "3"}));
        QVERIFY(trap.hasError());
        QVERIFY(reporter.reports.isEmpty());
        trap.report("@ ReadSettings");
        QVERIFY(!trap.hasError());
        trap.report("@ ReadSettings");
        QCOMPARE(reporter.reports, QStringList {"Error code # 76\r\nPath not found\r\n@ ReadSettings"});
    }

    // --- INI reading --------------------------------------------------------------------------
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
        row("default cut", versions, "s", "k", QString(300, 'd'), QString(254, 'd'));
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

    // --- Files --------------------------------------------------------------------------------
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

    // --- Addresses ----------------------------------------------------------------------------
    void mailAddressKeepsTheWholeSubject()
    {
        // subject, its encoding (empty: only the round trip is checked)
        const QList<std::pair<QString, QString>> cases
            = {{"vexal 1.2.5 Debian report", "subject=vexal%201.2.5%20Debian%20report"}, {"a&b=c", "subject=a%26b%3Dc"},
                {"bug #5 here", "subject=bug%20%235%20here"}, {"100%? ok", ""}, {"Vexal Pro ñandú", ""}};
        for (const auto &[subject, encoded] : cases) {
            const QString address = modMain::mailReportAddress(subject);
            QVERIFY2(address.startsWith(QLatin1String("mailto:")), qPrintable(address));
            QVERIFY2(encoded.isEmpty() || address.endsWith(QString('?' + encoded)), qPrintable(address));
            const QUrl url(address, QUrl::StrictMode);
            QVERIFY2(url.isValid(), qPrintable(url.errorString()));
            QVERIFY(!url.hasFragment());
            const QUrlQuery query(url);
            QCOMPARE(query.queryItems().size(), 1);
            QCOMPARE(query.queryItemValue("subject", QUrl::FullyDecoded), subject);
        }
    }

    // The mail itself, and its notice, are checked where the error report and the About box send it.
    void programPagesOpenThroughTheShell()
    {
        TestServices t;
        const QUrl main(modMain::programPageAddress(true));
        const QUrl alternative(modMain::programPageAddress(false));
        QCOMPARE(main.scheme(), QStringLiteral("https"));
        QCOMPARE(alternative.scheme(), QStringLiteral("https"));
        QVERIFY(main != alternative);
        modMain::openProgramPage(*t.services, false);
        modMain::openProgramPage(*t.services, true);
        QStringList opened;
        for (const RecordingShell::Call &call : std::as_const(t.shell.calls)) {
            QCOMPARE(call.kind, RecordingShell::Call::Kind::Open);
            opened << call.target;
        }
        QCOMPARE(opened, QStringList({alternative.toString(), main.toString()}));
    }

    // --- Setting keys -------------------------------------------------------------------------
    void emptyStoreGivesDefaults()
    {
        QTemporaryDir dir;
        const SettingsStore store(dir.path());
        using namespace settingKeys;
        const QList<std::pair<SettingKey, QString>> cases = {{Language, "---"}, {nBlend, "200"},
            {LatestStable, "TTDPatch 2.0 rev 1"}, {PatchVersion, "(unknown TTDPatch version)"}};
        for (const auto &[key, value] : cases) {
            QCOMPARE(QString::fromLatin1(key.section), QStringLiteral("VexalP"));
            QCOMPARE(readSetting(store, key), value);
            QCOMPARE(readSettingNumber(store, key), basicText::leadingNumber(value));
        }
    }

    void settingsAreReadAndWrittenAsNumbers()
    {
        const QList<std::pair<QString, qint64>> cases = {{"180", 180}, {"abc", 0}, {"-12abc", -12}};
        for (const auto &[stored, number] : cases) {
            QTemporaryDir dir;
            {
                SettingsStore store(dir.path());
                writeSetting(store, settingKeys::nBlend, stored);
            }
            // The keys live in the maker's application file, section VexalP.
            QSettings file(dir.filePath("Brakemoor Solutions.ini"), QSettings::IniFormat);
            QCOMPARE(file.value("VexalP/nBlend").toString(), stored);
            const SettingsStore store(dir.path());
            QCOMPARE(readSettingNumber(store, settingKeys::nBlend), number);
        }

        QTemporaryDir dir;
        SettingsStore store(dir.path());
        writeSetting(store, settingKeys::PatchVersionSize, qint64(1234567890123));
        writeSetting(store, settingKeys::Tab, qint64(-1));
        QCOMPARE(readSetting(store, settingKeys::PatchVersionSize), QStringLiteral("1234567890123"));
        QCOMPARE(readSettingNumber(store, settingKeys::Tab), -1);
    }
};

QTEST_MAIN(TestCommon)
#include "tst_common.moc"
