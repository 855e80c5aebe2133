// The shared rules: numbers and case in text, the error trap, INI reading, files and mail addresses;
// the text resources of the eight languages, the language list and the choice at start; the
// pictures the main window shows from the start.
#include "common/basictext.h"
#include "common/errortrap.h"
#include "common/icons.h"
#include "common/modmain.h"
#include "lang/modlanguage.h"
#include "lang/stringresources.h"
#include "testsupport.h"

#include <QApplication>
#include <QProxyStyle>
#include <QRegularExpression>
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

const QStringList Languages = {"ENGLISH", "SPANISH", "PORTUGUESE", "HUNGARIAN", "CZECH", "FINNISH", "DUTCH", "SWEDISH"};

QSet<QString> placeholdersOf(const QString &text)
{
    static const QRegularExpression placeholder(QStringLiteral("#[A-Z]+#"));
    QSet<QString> found;
    for (auto it = placeholder.globalMatch(text); it.hasNext();)
        found.insert(it.next().captured());
    return found;
}

modMain::State builtInList()
{
    modMain::State state;
    modLanguage::buildLanguageList(state, StringResources::builtIn());
    return state;
}

} // namespace

class TestCommon : public QObject {
    Q_OBJECT

private slots:
    // First, before anything else reads a picture: these load no image-format plugin, and they are
    // the pictures Qt itself draws (read its own way, which loads the plugins).
    void startPicturesAreQtsOwnAndLoadNoPlugin()
    {
        useProgramStyle();
        const QList<QStyle::StandardPixmap> pictures {QStyle::SP_DialogOpenButton, QStyle::SP_DialogSaveButton,
            QStyle::SP_MediaPlay, QStyle::SP_FileDialogContentsView};
        QList<QImage> ours;
        for (const QStyle::StandardPixmap picture : pictures)
            ours.append(QApplication::style()->standardPixmap(picture).toImage());
        QFile maps(QStringLiteral("/proc/self/maps"));
        QVERIFY(maps.open(QIODevice::ReadOnly) && !maps.readAll().contains("imageformats"));
        const QStyle *qts = static_cast<QProxyStyle *>(QApplication::style())->baseStyle();
        for (qsizetype i = 0; i < pictures.size(); ++i) {
            const QImage theirs = qts->standardPixmap(pictures.at(i)).toImage();
            QVERIFY(!theirs.isNull());
            QCOMPARE(ours.at(i).convertToFormat(theirs.format()), theirs);
        }
    }

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
        const QString subject = QStringLiteral("a&b=c bug #5, 100%? Vexal Pro ñandú");
        const QUrl url(modMain::mailReportAddress(subject), QUrl::StrictMode);
        QVERIFY(url.isValid() && !url.hasFragment() && QUrlQuery(url).queryItems().size() == 1);
        QCOMPARE(QUrlQuery(url).queryItemValue("subject", QUrl::FullyDecoded), subject);
    }

    // A file of numbered texts: the text of `id` (empty: it is skipped), and whether one line is refused.
    void parse_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("id");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("refused");
        const auto row = [](const char *name, const QByteArray &file, int id, const char *text, bool refused) {
            QTest::newRow(name) << file << id << QString::fromUtf8(text) << refused;
        };
        row("blanks kept", "29\t Progress \n", 29, " Progress ", false);
        row("escapes", "5\ta\\n\\tb C:\\\\TTD\\\\n", 5, "a\r\n\tb C:\\TTD\\n", false);
        row("no comment after text", "5\ta\t# b", 5, "a\t# b", false);
        row("CR LF", "5\tx \r\n6\ty\r\n", 5, "x ", false);
        row("comments and blank lines", "# head\n\n   \n\r\n#5\tno\n5\tyes\n", 5, "yes", false);
        // No tab, not a number, unknown escape, lone backslash at the end, duplicate number.
        for (const char *line : {"5 text", "five\ttext", "5\ta\\qb", "5\tab\\", "1\tsecond"})
            row(line, "1\tfirst\n" + QByteArray(line) + "\n9\tlast\n", 1, "first", true);
    }
    void parse()
    {
        QFETCH(QByteArray, file);
        QFETCH(int, id);
        QFETCH(bool, refused);
        QStringList problems;
        const QHash<int, QString> strings = StringResources::parse(file, 0, &problems);
        QTEST(strings.value(id, QStringLiteral("<none>")), "text");
        QCOMPARE(problems.size(), refused ? 1 : 0);
        if (refused) {
            QVERIFY2(problems.first().startsWith(QLatin1String("line 2")), qPrintable(problems.first()));
            QCOMPARE(strings.keys().size(), 2);
            QCOMPARE(strings.value(9), QStringLiteral("last"));
        }
    }

    // The program carries exactly the texts of the resource files: every text in every language,
    // with the English text's placeholders.
    void resourceFilesAreCompleteAndBuiltIn()
    {
        const QString folder = QFINDTESTDATA("../../src/lang/resources");
        QVERIFY(!folder.isEmpty());
        QStringList problems;
        const StringResources fromSource = StringResources::load(folder, &problems);
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
        const QStringList files = QDir(folder).entryList({QStringLiteral("*.txt")}, QDir::Files);
        QCOMPARE(files.size(), Languages.size());
        for (const QString &file : files)
            QVERIFY2(Languages.contains(QFileInfo(file).baseName().toUpper()), qPrintable(file));
        const StringResources &r = StringResources::builtIn();
        for (int id = 0; id < 9000; ++id)
            QVERIFY2(fromSource.string(id) == r.string(id), qPrintable(QString::number(id)));
        QVERIFY(r.string(1).has_value() && !r.string(608).has_value());
        QCOMPARE(StringResources::parse("501\tinglés", 3000).value(3501), QStringLiteral("inglés"));
        for (int k = 1; k < Languages.size(); ++k) {
            for (int n = 1; n <= modMain::UiTextCount; ++n) {
                const std::optional<QString> english = r.string(n), translated = r.string(k * 1000 + n);
                const QByteArray where = QByteArray::number(k * 1000 + n);
                QVERIFY2(translated.has_value() == english.has_value(), where.constData());
                if (english)
                    QVERIFY2(placeholdersOf(*translated).contains(placeholdersOf(*english)), where.constData());
            }
        }
    }

    // Windows' own numbers: the font character set of each ANSI code page and the language
    // identifiers whose locales name the languages.
    void windowsTables()
    {
        const QList<std::pair<QString, int>> charsets
            = {{"932", 128}, {"936", 134}, {"949", 129}, {"950", 136}, {"1250", 238}, {"1251", 204}, {"1252", 0},
                {"1253", 161}, {"1254", 162}, {"1255", 177}, {"1256", 178}, {"1257", 186}, {"437", 0}, {"", 0},
                {QStringLiteral("1250") + QChar(0) + "xyz", 238}, {QChar(0) + QStringLiteral("1250"), 0}};
        for (const auto &[codePage, charset] : charsets) {
            modMain::State state;
            modLanguage::chooseCharacterSet(state, codePage);
            QCOMPARE(state.FontCharset, charset);
        }
        const QList<std::pair<const char *, int>> identifiers
            = {{"SCHINESE", 2052}, {"TCHINESE", 3076}, {"CZECH", 1029}, {"DANISH", 1030}, {"DUTCH", 1043},
                {"ENGLISH", 2057}, {"FINNISH", 1035}, {"FRENCH", 1036}, {"GERMAN", 1031}, {"GREEK", 1032},
                {"HEBREW", 1037}, {"ITALIAN", 1040}, {"JAPANESE", 1041}, {"KOREAN", 1042}, {"NORWEGIAN", 1044},
                {"POLISH", 1045}, {"PORTUGUESE", 2070}, {"RUSSIAN", 1049}, {"SLOVAK", 1051}, {"SPANISH", 11274},
                {"SWEDISH", 1053}, {"HUNGARIAN", 1038}, {"KLINGON", 0}, {"SPANISH2", 0}, {"", 0}};
        for (const auto &[name, identifier] : identifiers)
            QVERIFY2(modLanguage::languageIdentifier(QString::fromLatin1(name)) == identifier, name);
        QCOMPARE(modLanguage::languageDisplayName(1041), QStringLiteral("Japanese (Japan)"));
        QCOMPARE(modLanguage::languageDisplayName(1), QString());
    }

    void languageList()
    {
        const modMain::State state = builtInList();
        const QStringList displayNames = {"English (United Kingdom)", "Spanish (Argentina)", "Portuguese (Portugal)",
            "Hungarian (Hungary)", "Czech (Czechia)", "Finnish (Finland)", "Dutch (Netherlands)", "Swedish (Sweden)"};
        QCOMPARE(state.LanguageCount, 7);
        for (int k = 0; k < Languages.size(); ++k) {
            QCOMPARE(state.LanguageTable[k].name, Languages[k]);
            QCOMPARE(modLanguage::rowOfDisplayName(state, displayNames[k]), k);
        }
        QCOMPARE(state.LanguageTable[8].name, QString());
        QCOMPARE(modLanguage::rowOfDisplayName(state, QStringLiteral("PORTUGUESE")), -1);

        // A name without an identifier shows as it is; a row without a name stays empty.
        StringResources r;
        r.set(650, QStringLiteral("4"));
        r.set(600, QStringLiteral("ENGLISH"));
        r.set(601, QStringLiteral("KLINGON"));
        r.set(603, QStringLiteral("SPANISH"));
        modMain::State own;
        modLanguage::buildLanguageList(own, r);
        QCOMPARE(own.LanguageCount, 3);
        QCOMPARE(own.LanguageTable[1].displayName, QStringLiteral("KLINGON"));
        QCOMPARE(own.LanguageTable[2].displayName, QString());
        QCOMPARE(own.LanguageTable[3].displayName, QStringLiteral("Spanish (Argentina)"));
    }

    void languageChosenAtStart()
    {
        // locale language, language chosen, its index (4 when none is found)
        const QList<std::tuple<QString, QString, int>> locales
            = {{"SPANISH (ARGENTINA)", "SPANISH", 1}, {"Portuguese", "PORTUGUESE", 2}, {"ENGLISH", "ENGLISH", 0},
                {"GERMAN", "ENGLISH", 4}, {"SPAN", "ENGLISH", 4}, {"", "ENGLISH", 4}};
        for (const auto &[locale, name, index] : locales) {
            modMain::State state = builtInList();
            state.LanguageIndex = 4;
            modLanguage::detectDefaultLanguage(state, locale);
            QCOMPARE(state.LanguageName, name);
            QCOMPARE(state.LanguageIndex, index);
        }
        // A stored name finds its row; in no row, the index stays.
        for (const auto &[name, index] : QList<std::pair<const char *, int>> {{"SWEDISH", 7}, {"GERMAN", 3}}) {
            modMain::State state = builtInList();
            state.LanguageIndex = 3;
            state.LanguageName = QString::fromLatin1(name);
            modLanguage::findLanguageIndex(state);
            QVERIFY2(state.LanguageIndex == index, name);
        }
    }

    void interfaceTextsFallBackToEnglish()
    {
        // language, index, texts removed, text number, text loaded
        const QList<std::tuple<QString, int, QList<int>, int, QString>> cases
            = {{"ENGLISH", 3, {}, 29, " Progress "}, {"HUNGARIAN", 3, {}, 1, "&Fájl"},
                {"HUNGARIAN", 3, {3029}, 29, " Progress "}, {"SPANISH", 1, {1, 1001}, 1, ""}};
        for (const auto &[name, index, removed, n, text] : cases) {
            StringResources resources = StringResources::builtIn();
            for (int id : removed)
                resources.remove(id);
            modMain::State state;
            state.LanguageName = name;
            state.LanguageIndex = index;
            modLanguage::loadInterfaceTexts(state, resources);
            QCOMPARE(state.UiText[std::size_t(n)], text);
        }
    }
};

QTEST_MAIN(TestCommon)
#include "tst_common.moc"
