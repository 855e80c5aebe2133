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

Q_DECLARE_METATYPE(SettingKey)

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

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

} // namespace

class TestCommon : public QObject {
    Q_OBJECT

private slots:
    // --- Basic text rules ---------------------------------------------------------------------
    void leadingNumber_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("number");
        QTest::newRow("empty") << QString() << 0LL;
        QTest::newRow("letters") << QStringLiteral("abc") << 0LL;
        QTest::newRow("digits") << QStringLiteral("12") << 12LL;
        QTest::newRow("leading blanks") << QStringLiteral("  12") << 12LL;
        QTest::newRow("minus") << QStringLiteral("-7") << -7LL;
        QTest::newRow("plus") << QStringLiteral("+3") << 3LL;
        QTest::newRow("digits then letters") << QStringLiteral("12abc") << 12LL;
        QTest::newRow("decimal") << QStringLiteral("1.5") << 1LL;
        QTest::newRow("leading zeros") << QStringLiteral("007") << 7LL;
        QTest::newRow("sign then blank") << QStringLiteral("- 3") << 0LL;
        QTest::newRow("sign alone") << QStringLiteral("-") << 0LL;
        QTest::newRow("two signs") << QStringLiteral("--3") << 0LL;
        QTest::newRow("full-width digits") << QStringLiteral("１２") << 0LL;
        QTest::newRow("largest") << QStringLiteral("9223372036854775807") << Largest;
        QTest::newRow("most negative held") << QStringLiteral("-9223372036854775807") << -Largest;
        QTest::newRow("one past largest") << QStringLiteral("9223372036854775808") << Largest;
        QTest::newRow("far too large") << QStringLiteral("99999999999999999999999") << Largest;
        QTest::newRow("far too small") << QStringLiteral("-99999999999999999999999x") << -Largest;
        QTest::newRow("twenty digits") << QStringLiteral("12345678901234567890") << Largest;
    }
    void leadingNumber()
    {
        QFETCH(QString, text);
        QFETCH(qint64, number);
        QCOMPARE(basicText::leadingNumber(text), number);
    }

    void trimBlanksRemovesSpacesOnly_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("trimmed");
        QTest::newRow("spaces") << QStringLiteral("  a b  ") << QStringLiteral("a b");
        QTest::newRow("tabs stay") << QStringLiteral("\ta\t") << QStringLiteral("\ta\t");
        QTest::newRow("mixed") << QStringLiteral(" \t a \t ") << QStringLiteral("\t a \t");
        QTest::newRow("line break stays") << QStringLiteral("a\r\n ") << QStringLiteral("a\r\n");
        QTest::newRow("only spaces") << QStringLiteral("   ") << QString();
        QTest::newRow("empty") << QString() << QString();
    }
    void trimBlanksRemovesSpacesOnly()
    {
        QFETCH(QString, text);
        QFETCH(QString, trimmed);
        QCOMPARE(basicText::trimBlanks(text), trimmed);
    }

    void caseFoldingIsAsciiOnly_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<bool>("equal");
        QTest::addColumn<bool>("aContainsB");
        QTest::newRow("ASCII") << QStringLiteral("VexalP") << QStringLiteral("vEXALp") << true << true;
        QTest::newRow("umlaut") << QStringLiteral("ÄB") << QStringLiteral("äb") << false << false;
        QTest::newRow("sharp s") << QStringLiteral("STRASSE") << QStringLiteral("straße") << false << false;
        QTest::newRow("Nordic") << QStringLiteral("ÆØÅ 日本") << QStringLiteral("æøå") << false << false;
        QTest::newRow("inside") << QStringLiteral("[VexalP] x") << QStringLiteral("vexalp") << false << true;
        QTest::newRow("longer needle") << QStringLiteral("abc") << QStringLiteral("abcd") << false << false;
        QTest::newRow("empty needle") << QStringLiteral("abc") << QString() << false << true;
        QTest::newRow("symbols unchanged") << QStringLiteral("@[") << QStringLiteral("`{") << false << false;
    }
    void caseFoldingIsAsciiOnly()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(bool, equal);
        QFETCH(bool, aContainsB);
        QCOMPARE(basicText::equalsIgnoringCase(a, b), equal);
        QCOMPARE(basicText::equalsIgnoringCase(b, a), equal);
        QCOMPARE(basicText::containsIgnoringCase(a, b), aContainsB);
    }

    // --- Error trap ---------------------------------------------------------------------------
    void reportTextIsExact()
    {
        QCOMPARE(ErrorTrap::composeReport(RuntimeError::of(53), QStringLiteral("@ ReadSettings")),
            QStringLiteral("Error code # 53\r\nFile not found\r\n@ ReadSettings"));
    }

    void laterErrorIsReportedAndLaterStepsStillRun()
    {
        RecordingReporter reporter;
        ErrorTrap trap(&reporter);
        QStringList ran;
        trap.step([&] {
            ran << "1";
            throwError(53);
            ran << "1 after";
        });
        trap.step([&] { ran << "2"; });
        trap.step([&] {
            ran << "3";
            throwError(76);
        });
        trap.step([&] { ran << "4"; });
        QCOMPARE(ran, QStringList({ "1", "2", "3", "4" }));
        QVERIFY(reporter.reports.isEmpty());
        trap.report(QStringLiteral("@ ReadSettings"));
        QCOMPARE(
            reporter.reports, QStringList { QStringLiteral("Error code # 76\r\nPath not found\r\n@ ReadSettings") });
    }

    void reportShowsARecordedErrorOnce()
    {
        RecordingReporter reporter;
        ErrorTrap trap(&reporter);
        trap.step([] {});
        trap.report(QStringLiteral("@ frmMain Load"));
        QVERIFY(reporter.reports.isEmpty());

        trap.step([] { throwError(70); });
        QVERIFY(trap.hasError());
        trap.report(QStringLiteral("@GetPatchVersion"));
        QVERIFY(!trap.hasError());
        trap.report(QStringLiteral("@GetPatchVersion"));
        QCOMPARE(reporter.reports,
            QStringList { QStringLiteral("Error code # 70\r\nPermission denied\r\n@GetPatchVersion") });
    }

    void onlyRuntimeErrorsAreCaught()
    {
        RecordingReporter reporter;
        ErrorTrap trap(&reporter);
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, trap.step([] { throw std::runtime_error("not ours"); }));
        QVERIFY(!trap.hasError());
    }

    void classicErrorDescriptions_data()
    {
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("description");
        QTest::newRow("5") << 5 << QStringLiteral("Invalid procedure call or argument");
        QTest::newRow("6") << 6 << QStringLiteral("Overflow");
        QTest::newRow("13") << 13 << QStringLiteral("Type mismatch");
        QTest::newRow("52") << 52 << QStringLiteral("Bad file name or number");
        QTest::newRow("53") << 53 << QStringLiteral("File not found");
        QTest::newRow("57") << 57 << QStringLiteral("Device I/O error");
        QTest::newRow("61") << 61 << QStringLiteral("Disk full");
        QTest::newRow("70") << 70 << QStringLiteral("Permission denied");
        QTest::newRow("75") << 75 << QStringLiteral("Path/File access error");
        QTest::newRow("76") << 76 << QStringLiteral("Path not found");
        QTest::newRow("380") << 380 << QStringLiteral("Invalid property value");
        QTest::newRow("1001") << 1001 << QStringLiteral("Unsupported Value Type");
        QTest::newRow("unknown") << 9999 << QStringLiteral("Application-defined or object-defined error");
    }
    void classicErrorDescriptions()
    {
        QFETCH(int, number);
        QFETCH(QString, description);
        const RuntimeError error = RuntimeError::of(number);
        QCOMPARE(error.number, number);
        QCOMPARE(error.description, description);
    }

    // --- INI reading --------------------------------------------------------------------------
    void readIniString_data()
    {
        QTest::addColumn<QByteArray>("file"); // null: no file at all
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("defaultValue");
        QTest::addColumn<QString>("value");
        const QByteArray versions = "[Stable]\nVersion=2.0.1\n[Alpha]\nVersion = 2.5 beta 3\n";
        QTest::newRow("plain") << versions << "Alpha"
                               << "Version"
                               << "-"
                               << "2.5 beta 3";
        QTest::newRow("names ignore case") << versions << "aLPHA"
                                           << "VERSION"
                                           << "-"
                                           << "2.5 beta 3";
        QTest::newRow("missing section") << versions << "Beta"
                                         << "Version"
                                         << "none"
                                         << "none";
        QTest::newRow("missing key") << versions << "Stable"
                                     << "Date"
                                     << "none"
                                     << "none";
        QTest::newRow("missing file") << QByteArray() << "Stable"
                                      << "Version"
                                      << "none"
                                      << "none";
        QTest::newRow("blanks and tabs trimmed") << QByteArray("[s]\nk= \t v a l \t \n") << "s"
                                                 << "k"
                                                 << ""
                                                 << "v a l";
        QTest::newRow("blanks around equals") << QByteArray("[s]\n  k  =  value  \n") << "s"
                                              << "k"
                                              << ""
                                              << "value";
        QTest::newRow("equals in value") << QByteArray("[s]\nk=a=b\n") << "s"
                                         << "k"
                                         << ""
                                         << "a=b";
        QTest::newRow("empty value") << QByteArray("[s]\nk=\n") << "s"
                                     << "k"
                                     << "none"
                                     << "";
        QTest::newRow("double quotes") << QByteArray("[s]\nk=\"x y\"\n") << "s"
                                       << "k"
                                       << ""
                                       << "x y";
        QTest::newRow("single quotes") << QByteArray("[s]\nk='x'\n") << "s"
                                       << "k"
                                       << ""
                                       << "x";
        QTest::newRow("blanks inside quotes") << QByteArray("[s]\nk=\" x \"\n") << "s"
                                              << "k"
                                              << ""
                                              << " x ";
        QTest::newRow("unmatched quotes") << QByteArray("[s]\nk=\"x'\n") << "s"
                                          << "k"
                                          << ""
                                          << "\"x'";
        QTest::newRow("opening quote only") << QByteArray("[s]\nk=\"x\n") << "s"
                                            << "k"
                                            << ""
                                            << "\"x";
        QTest::newRow("lone quote") << QByteArray("[s]\nk=\"\n") << "s"
                                    << "k"
                                    << ""
                                    << "\"";
        QTest::newRow("first section wins") << QByteArray("[s]\na=1\n[t]\nb=2\n[S]\na=3\nb=4\n") << "s"
                                            << "a"
                                            << ""
                                            << "1";
        QTest::newRow("later section of the name unread") << QByteArray("[s]\na=1\n[t]\n[S]\nb=4\n") << "s"
                                                          << "b"
                                                          << "none"
                                                          << "none";
        QTest::newRow("first key wins") << QByteArray("[s]\nk=1\nK=2\n") << "s"
                                        << "k"
                                        << ""
                                        << "1";
        QTest::newRow("key outside sections") << QByteArray("k=v\n[s]\nother=1\n") << "s"
                                              << "k"
                                              << "none"
                                              << "none";
        QTest::newRow("comment line") << QByteArray("[s]\n;k=1\nk=2\n") << "s"
                                      << "k"
                                      << ""
                                      << "2";
        QTest::newRow("CR LF") << QByteArray("[s]\r\nk=v\r\nj=w\r\n") << "s"
                               << "k"
                               << ""
                               << "v";
        QTest::newRow("CR LF, last line") << QByteArray("[s]\r\nk=v\r\n") << "s"
                                          << "k"
                                          << ""
                                          << "v";
        QTest::newRow("UTF-8") << QByteArray("[s]\nk=ñandú\n") << "s"
                               << "k"
                               << ""
                               << "ñandú";
        QTest::newRow("Latin-1") << QByteArray("[s]\nk=espa\xf1ol\n") << "s"
                                 << "k"
                                 << ""
                                 << "español";
        QTest::newRow("default trailing blanks") << versions << "s"
                                                 << "k"
                                                 << "  none  "
                                                 << "  none";
        QTest::newRow("value cut") << "[s]\nk=" + QByteArray(300, 'v') + "\n"
                                   << "s"
                                   << "k"
                                   << "" << QString(254, QLatin1Char('v'));
        QTest::newRow("default cut") << versions << "s"
                                     << "k" << QString(300, QLatin1Char('d')) << QString(254, QLatin1Char('d'));
    }
    void readIniString()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, defaultValue);
        QFETCH(QString, value);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("_versions.txt"));
        if (!file.isNull())
            writeFile(path, file);
        QCOMPARE(modMain::readIniString(section, key, defaultValue, path), value);
    }

    // --- Files --------------------------------------------------------------------------------
    void fileExists_data()
    {
        QTest::addColumn<QString>(
            "name"); // inside a folder holding "ttdpatch.cfg", ".hidden", "readonly.cfg", "newgrf/"
        QTest::addColumn<bool>("exists");
        QTest::newRow("plain file") << "ttdpatch.cfg" << true;
        QTest::newRow("read-only file") << "readonly.cfg" << true;
        QTest::newRow("hidden file") << ".hidden" << false;
        QTest::newRow("folder") << "newgrf" << false;
        QTest::newRow("missing") << "nothing.cfg" << false;
        QTest::newRow("other case") << "TTDPATCH.CFG" << false;
        QTest::newRow("empty path") << QString() << false;
    }
    void fileExists()
    {
        QFETCH(QString, name);
        QFETCH(bool, exists);
        QTemporaryDir dir;
        writeFile(dir.filePath(QStringLiteral("ttdpatch.cfg")), "x");
        writeFile(dir.filePath(QStringLiteral(".hidden")), "x");
        writeFile(dir.filePath(QStringLiteral("readonly.cfg")), "x");
        QVERIFY(QFile::setPermissions(dir.filePath(QStringLiteral("readonly.cfg")), QFile::ReadOwner));
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("newgrf")));
        QCOMPARE(modMain::fileExists(name.isEmpty() ? QString() : dir.filePath(name)), exists);
    }

    void deleteIfExistsRemovesFilesOnly()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("vexalpro.exe.tmp"));
        const QString folder = dir.filePath(QStringLiteral("newgrf"));
        writeFile(file, "x");
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("newgrf")));
        modMain::deleteIfExists(file);
        modMain::deleteIfExists(folder);
        modMain::deleteIfExists(dir.filePath(QStringLiteral("missing")));
        QVERIFY(!QFileInfo::exists(file));
        QVERIFY(QFileInfo(folder).isDir());
    }

    // --- Addresses ----------------------------------------------------------------------------
    void mailAddressKeepsTheWholeSubject_data()
    {
        QTest::addColumn<QString>("subject");
        QTest::addColumn<QString>("encoded"); // empty: only the round trip is checked
        QTest::newRow("report") << "vexal 1.0.0 Debian report"
                                << "subject=vexal%201.0.0%20Debian%20report";
        QTest::newRow("distribution") << "vexal 1.0.0 Debian GNU/Linux 12 (bookworm) report"
                                      << "subject=vexal%201.0.0%20Debian%20GNU/Linux%2012%20(bookworm)%20report";
        QTest::newRow("no OS name") << "vexal 1.0.0  report"
                                    << "subject=vexal%201.0.0%20%20report";
        QTest::newRow("ampersand") << "a&b=c"
                                   << "subject=a%26b%3Dc";
        QTest::newRow("hash") << "bug #5 here"
                              << "subject=bug%20%235%20here";
        QTest::newRow("question mark and percent") << "100%? ok" << QString();
        QTest::newRow("plus") << "C++ build"
                              << "subject=C%2B%2B%20build";
        QTest::newRow("non-ASCII") << "Vexal Pro ñandú" << QString();
    }
    void mailAddressKeepsTheWholeSubject()
    {
        QFETCH(QString, subject);
        QFETCH(QString, encoded);
        const QString address = modMain::mailReportAddress(subject);
        QVERIFY2(address.startsWith(QLatin1String("mailto:")), qPrintable(address));
        if (!encoded.isEmpty())
            QVERIFY2(address.endsWith(QLatin1Char('?') + encoded), qPrintable(address));
        const QUrl url(address, QUrl::StrictMode);
        QVERIFY2(url.isValid(), qPrintable(url.errorString()));
        QVERIFY(!url.hasFragment());
        const QUrlQuery query(url);
        QCOMPARE(query.queryItems().size(), 1);
        QCOMPARE(query.queryItemValue(QStringLiteral("subject"), QUrl::FullyDecoded), subject);
    }

    void mailReportShowsNoticeThenOpensAddress()
    {
        TestServices t;
        modMain::mailReport(*t.services, nullptr, QStringLiteral("Vexal Pro 1.0.0"));
        QVERIFY(t.dialogs.prompts().isEmpty());
        modMain::mailReport(
            *t.services, nullptr, QStringLiteral("Vexal Pro 1.0.0"), QStringLiteral("english or spanish"));
        QCOMPARE(t.dialogs.prompts().size(), 1);
        const ScriptedDialogs::Prompt notice = t.dialogs.prompts().first();
        QCOMPARE(notice.title, QStringLiteral("Email Notice"));
        QCOMPARE(notice.text, QStringLiteral("english or spanish"));
        QCOMPARE(notice.icon, MessageIcon::Information);
        QCOMPARE(t.shell.calls.size(), 2);
        for (const RecordingShell::Call &call : std::as_const(t.shell.calls)) {
            QCOMPARE(call.kind, RecordingShell::Call::Kind::Open);
            QCOMPARE(call.target, modMain::mailReportAddress(QStringLiteral("Vexal Pro 1.0.0")));
        }
    }

    void programPagesOpenThroughTheShell()
    {
        TestServices t;
        const QUrl main(modMain::programPageAddress(true));
        const QUrl alternative(modMain::programPageAddress(false));
        QVERIFY(main.isValid() && alternative.isValid());
        QCOMPARE(main.scheme(), QStringLiteral("https"));
        QCOMPARE(alternative.scheme(), QStringLiteral("https"));
        QVERIFY(main != alternative);
        modMain::openProgramPage(*t.services, false);
        modMain::openProgramPage(*t.services, true);
        QCOMPARE(t.shell.calls.size(), 2);
        QCOMPARE(t.shell.calls[0].target, alternative.toString());
        QCOMPARE(t.shell.calls[1].target, main.toString());
    }

    // --- Setting keys -------------------------------------------------------------------------
    void emptyStoreGivesDefaults_data()
    {
        QTest::addColumn<SettingKey>("key");
        QTest::addColumn<QString>("value");
        using namespace settingKeys;
        QTest::newRow("Language") << Language << "---";
        QTest::newRow("AutoLU") << AutoLU << "3";
        QTest::newRow("FontName") << FontName << "1";
        QTest::newRow("FontSize") << FontSize << "2";
        QTest::newRow("Blend") << Blend << "0";
        QTest::newRow("nBlend") << nBlend << "200";
        QTest::newRow("LatestStable") << LatestStable << "TTDPatch 2.0 rev 1";
        QTest::newRow("LatestStableDate") << LatestStableDate << "October 24, 2003";
        QTest::newRow("LatestAlpha") << LatestAlpha << "2.0.1 alpha 29";
        QTest::newRow("LatestAlphaDate") << LatestAlphaDate << "June 25, 2004";
        QTest::newRow("LastCheckDate") << LastCheckDate << "May 6, 2004";
        QTest::newRow("Recent1") << Recent1 << "---";
        QTest::newRow("Recent2") << Recent2 << "---";
        QTest::newRow("PatchVersion") << PatchVersion << "(unknown TTDPatch version)";
        QTest::newRow("PatchVersionSize") << PatchVersionSize << "1";
        QTest::newRow("TTDAlter") << TTDAlter << "---";
    }
    void emptyStoreGivesDefaults()
    {
        QFETCH(SettingKey, key);
        QFETCH(QString, value);
        QTemporaryDir dir;
        const SettingsStore store(dir.path());
        QCOMPARE(QString::fromLatin1(key.section), QStringLiteral("VexalP"));
        QCOMPARE(readSetting(store, key), value);
        QCOMPARE(readSettingNumber(store, key), basicText::leadingNumber(value));
    }

    void storedSettingsAreReadAsNumbers_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<qint64>("number");
        QTest::newRow("number") << "180" << 180LL;
        QTest::newRow("non-numeric") << "abc" << 0LL;
        QTest::newRow("empty") << "" << 0LL;
        QTest::newRow("leading number") << "12abc" << 12LL;
        QTest::newRow("negative") << "-1" << -1LL;
    }
    void storedSettingsAreReadAsNumbers()
    {
        QFETCH(QString, stored);
        QFETCH(qint64, number);
        QTemporaryDir dir;
        {
            SettingsStore store(dir.path());
            writeSetting(store, settingKeys::nBlend, stored);
        }
        // The keys live in the maker's application file, section VexalP.
        QSettings file(dir.filePath(QStringLiteral("Brakemoor Solutions.ini")), QSettings::IniFormat);
        QCOMPARE(file.value(QStringLiteral("VexalP/nBlend")).toString(), stored);
        const SettingsStore store(dir.path());
        QCOMPARE(readSettingNumber(store, settingKeys::nBlend), number);
    }

    void numbersAreWrittenAsDecimalText()
    {
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
