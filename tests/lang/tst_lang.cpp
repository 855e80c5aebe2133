#include "lang/flags.h"
#include "lang/modlanguage.h"
#include "lang/stringresources.h"
#include "testsupport.h"

#include <QLabel>
#include <QRegularExpression>
#include <QtTest>

namespace {

const QStringList Languages = {"ENGLISH", "SPANISH", "PORTUGUESE", "HUNGARIAN", "CZECH", "FINNISH", "DUTCH", "SWEDISH"};

QSet<QString> placeholdersOf(const QString &text)
{
    static const QRegularExpression placeholder(QStringLiteral("#[A-Z]+#"));
    QSet<QString> found;
    for (auto it = placeholder.globalMatch(text); it.hasNext();)
        found.insert(it.next().captured());
    return found;
}

} // namespace

class TestLang : public QObject {
    Q_OBJECT

private slots:
    // --- String resource files ----------------------------------------------------------------
    void parseReadsNumberedTexts()
    {
        // file, block base, number, text
        const QList<std::tuple<QByteArray, int, int, QString>> cases
            = {{"29\t Progress \n", 0, 29, " Progress "}, {"5\ta\\n\\tb C:\\\\TTD\\\\n", 0, 5, "a\r\n\tb C:\\TTD\\n"},
                {"5\ta\t# b", 0, 5, "a\t# b"}, {"60\t\n", 0, 60, ""}, {"5\tx \r\n6\ty\r\n", 0, 5, "x "},
                {"501\tinglés o español", 3000, 3501, "inglés o español"},
                {"# head\n\n   \n\r\n#5\tno\n5\tyes\n", 0, 5, "yes"}};
        for (const auto &[file, blockBase, id, text] : cases) {
            QStringList problems;
            const QHash<int, QString> strings = StringResources::parse(file, blockBase, &problems);
            QVERIFY2(problems.isEmpty(), qPrintable(problems.join('\n')));
            QVERIFY2(strings.contains(id), file.constData());
            QCOMPARE(strings.value(id), text);
        }
    }

    void parseSkipsAndNamesBadLines()
    {
        // No tab, not a number, unknown escape, lone backslash at the end, duplicate number.
        for (const QByteArray line : {"5 text", "five\ttext", "5\ta\\qb", "5\tab\\", "1\tsecond"}) {
            QStringList problems;
            const QHash<int, QString> strings
                = StringResources::parse("1\tfirst\n" + line + "\n9\tlast\n", 0, &problems);
            QCOMPARE(problems.size(), 1);
            QVERIFY2(problems.first().startsWith(QLatin1String("line 2")), qPrintable(problems.first()));
            QCOMPARE(strings.keys().size(), 2);
            QCOMPARE(strings.value(1), QStringLiteral("first"));
            QCOMPARE(strings.value(9), QStringLiteral("last"));
        }
    }

    // --- The program's own texts ----------------------------------------------------------------
    void builtInTableHasTheEnglishTexts()
    {
        const StringResources &r = StringResources::builtIn();
        for (int n = 1; n <= modMain::UiTextCount; ++n)
            QVERIFY2(r.string(n).has_value() == (n != 109), qPrintable(QString::number(n)));
        QVERIFY(r.string(500).has_value());
        QVERIFY(!r.string(608).has_value()); // eight languages, no more
        QVERIFY(r.string(8).value_or(QString()).contains(QLatin1String("Ploven")));
        // Word for word, typing slips included.
        const QList<std::pair<int, QString>> cases = {{1, "&File"}, {33, "Chose the program's language:"},
            {101, "Vexal Pro will attemp to create the TTD registry entries now."},
            {177,
                "The mentioned components should be present in the #SYSPATH# folder in order for the program to "
                "work.\r\n\r\nOnce you install them with the proper installer, this message won't appear again."},
            {501,
                "When contacting the developer please do it in english or spanish only.\r\n\r\n"
                "Al contactar al autor por favor hazlo en inglés o español únicamente."}};
        for (const auto &[id, text] : cases)
            QCOMPARE(r.string(id), std::optional<QString>(text));
    }

    void resourceFilesLoadWithoutProblems()
    {
        const QString folder = QFINDTESTDATA("../../src/lang/resources");
        QVERIFY(!folder.isEmpty());
        QStringList problems;
        const StringResources fromSource = StringResources::load(folder, &problems);
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
        // Every file is a language of the list; none is left unread.
        const QStringList files = QDir(folder).entryList({QStringLiteral("*.txt")}, QDir::Files);
        QCOMPARE(files.size(), Languages.size());
        for (const QString &file : files)
            QVERIFY2(Languages.contains(QFileInfo(file).baseName().toUpper()), qPrintable(file));
        // The program carries exactly these texts.
        const StringResources &builtIn = StringResources::builtIn();
        for (int id = 0; id < 9000; ++id)
            QVERIFY2(fromSource.string(id) == builtIn.string(id), qPrintable(QString::number(id)));
    }

    void everyLanguageTranslatesEveryText()
    {
        const StringResources &r = StringResources::builtIn();
        for (int k = 1; k < Languages.size(); ++k) {
            for (int n = 1; n <= modMain::UiTextCount; ++n) {
                const std::optional<QString> english = r.string(n);
                const std::optional<QString> translated = r.string(k * 1000 + n);
                const QByteArray where = QByteArray::number(k * 1000 + n);
                QVERIFY2(translated.has_value() == english.has_value(), where.constData());
                if (english)
                    QVERIFY2(placeholdersOf(*translated).contains(placeholdersOf(*english)), where.constData());
            }
            QVERIFY2(
                r.string(k * 1000 + 8).value_or(QString()).contains(QLatin1String("Ploven")), qPrintable(Languages[k]));
        }
    }

    // --- Language table -----------------------------------------------------------------------
    void fontCharsetForCodePage()
    {
        const QList<std::pair<QString, int>> cases
            = {{"932", 128}, {"950", 136}, {"1250", 238}, {"1251", 204}, {"1252", 0}, {"1256", 178}, {"437", 0},
                {"", 0}, {QStringLiteral("1250") + QChar(0) + "xyz", 238}, {QChar(0) + QStringLiteral("1250"), 0}};
        for (const auto &[codePage, charset] : cases) {
            modMain::State state;
            modLanguage::chooseCharacterSet(state, codePage);
            QCOMPARE(state.FontCharset, charset);
        }
    }

    void languageListFromBuiltInTexts()
    {
        modMain::State state;
        modLanguage::buildLanguageList(state, StringResources::builtIn());
        const QStringList displayNames = {"English (United Kingdom)", "Spanish (Argentina)", "Portuguese (Portugal)",
            "Hungarian (Hungary)", "Czech (Czechia)", "Finnish (Finland)", "Dutch (Netherlands)", "Swedish (Sweden)"};
        QCOMPARE(state.LanguageCount, 7);
        for (int k = 0; k < Languages.size(); ++k) {
            QCOMPARE(state.LanguageTable[k].name, Languages[k]);
            QCOMPARE(state.LanguageTable[k].displayName, displayNames[k]);
        }
        QCOMPARE(state.LanguageTable[8].name, QString());
        QCOMPARE(modLanguage::rowOfDisplayName(state, QStringLiteral("Portuguese (Portugal)")), 2);
        QCOMPARE(modLanguage::rowOfDisplayName(state, QStringLiteral("PORTUGUESE")), -1);
    }

    void languageListFromHandMadeTexts()
    {
        StringResources r;
        r.set(650, QStringLiteral("4"));
        r.set(600, QStringLiteral("ENGLISH"));
        r.set(601, QStringLiteral("KLINGON"));
        r.set(603, QStringLiteral("SPANISH"));
        modMain::State state;
        modLanguage::buildLanguageList(state, r);
        QCOMPARE(state.LanguageCount, 3);
        QCOMPARE(state.LanguageTable[0].displayName, QStringLiteral("English (United Kingdom)"));
        QCOMPARE(state.LanguageTable[1].name, QStringLiteral("KLINGON"));
        QCOMPARE(state.LanguageTable[1].displayName, QStringLiteral("KLINGON"));
        QCOMPARE(state.LanguageTable[2].name, QString());
        QCOMPARE(state.LanguageTable[2].displayName, QString());
        QCOMPARE(state.LanguageTable[3].displayName, QStringLiteral("Spanish (Argentina)"));

        // Only the names in the identifier table have an identifier; unknown identifiers have no display name.
        const QList<std::pair<const char *, int>> cases = {{"SCHINESE", 2052}, {"TCHINESE", 3076}, {"NORWEGIAN", 1044},
            {"SPANISH", 11274}, {"KLINGON", 0}, {"SPANISH2", 0}, {"", 0}};
        for (const auto &[name, identifier] : cases)
            QVERIFY2(modLanguage::languageIdentifier(QString::fromLatin1(name)) == identifier, name);
        QCOMPARE(modLanguage::languageDisplayName(1), QString());
    }

    void detectDefaultLanguage()
    {
        // locale language, language chosen, its index (4 when none is found)
        const QList<std::tuple<QString, QString, int>> cases
            = {{"SPANISH (ARGENTINA)", "SPANISH", 1}, {"Portuguese", "PORTUGUESE", 2}, {"ENGLISH", "ENGLISH", 0},
                {"GERMAN", "ENGLISH", 4}, {"SPAN", "ENGLISH", 4}, {"", "ENGLISH", 4}};
        for (const auto &[locale, name, index] : cases) {
            modMain::State state;
            modLanguage::buildLanguageList(state, StringResources::builtIn());
            state.LanguageIndex = 4;
            modLanguage::detectDefaultLanguage(state, locale);
            QCOMPARE(state.LanguageName, name);
            QCOMPARE(state.LanguageIndex, index);
        }
    }

    void findLanguageIndexTakesLastRowContainingTheName()
    {
        modMain::State state;
        const QStringList rows = {"ENGLISH", "ENGLISH2", "XENGLISH", "SPANISH"};
        for (int k = 0; k < rows.size(); ++k)
            state.LanguageTable[k] = {rows[k], rows[k]};
        state.LanguageCount = 3;
        // The index starts at 3 each time; a name in no row leaves it there.
        const QList<std::pair<const char *, int>> cases
            = {{"ENGLISH", 2}, {"ENGLISH2", 1}, {"GLISH", 2}, {"english", 3}, {"GERMAN", 3}};
        for (const auto &[name, index] : cases) {
            state.LanguageIndex = 3;
            state.LanguageName = QString::fromLatin1(name);
            modLanguage::findLanguageIndex(state);
            QVERIFY2(state.LanguageIndex == index, name);
        }
    }

    // --- Interface texts ----------------------------------------------------------------------
    void loadInterfaceTextsFallsBackToEnglish()
    {
        // language, index, texts removed, text number, text loaded
        const QList<std::tuple<QString, int, QList<int>, int, QString>> cases = {{"ENGLISH", 3, {}, 29, " Progress "},
            {"ENGLISH", 0, {}, 180, "No matches found."}, {"SPANISH", 1, {}, 180, "No se encontraron coincidencias."},
            {"HUNGARIAN", 3, {}, 29, " Folyamat "}, {"HUNGARIAN", 3, {3029}, 29, " Progress "},
            {"SPANISH", 1, {1, 1001}, 1, ""}, {"ENGLISH", 0, {1}, 1, ""}};
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

    // --- Flags --------------------------------------------------------------------------------
    // A label given a language's flag shows it and remembers its icon number.
    void everyLanguageHasItsOwnFlag()
    {
        QList<QImage> flags;
        QLabel label;
        for (const QString &name : Languages) {
            const QPixmap flag = flagPixmap(name);
            QCOMPARE(flag.size(), QSize(30, 20));
            const QImage image = flag.toImage();
            for (int i = 0; i < flags.size(); ++i)
                QVERIFY2(image != flags[i], qPrintable(name + QLatin1String(" looks like ") + Languages[i]));
            flags.append(image);
            setFlag(label, int(flags.size() - 1), name);
            QCOMPARE(label.property("iconNumber").toInt(), flags.size() + 1);
            QCOMPARE(label.pixmap().toImage(), image);
        }
        const QImage unknown = flagPixmap(QStringLiteral("KLINGON")).toImage();
        QVERIFY(!flags.contains(unknown));
        const QColor middle = unknown.pixelColor(15, 10);
        QVERIFY(middle.red() == middle.green() && middle.green() == middle.blue());
        QVERIFY(middle.red() > 64 && middle.red() < 240);
    }
};

QTEST_MAIN(TestLang)
#include "tst_lang.moc"
