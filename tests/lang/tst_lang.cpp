#include "lang/flags.h"
#include "lang/modlanguage.h"
#include "lang/stringresources.h"
#include "testsupport.h"

#include <QLabel>
#include <QRegularExpression>
#include <QtTest>

namespace {

const QStringList Languages
    = { "ENGLISH", "SPANISH", "PORTUGUESE", "HUNGARIAN", "CZECH", "FINNISH", "DUTCH", "SWEDISH" };

QString sourceResources()
{
    return QFINDTESTDATA("../../src/lang/resources");
}

QSet<QString> placeholdersOf(const QString &text)
{
    static const QRegularExpression placeholder(QStringLiteral("#[A-Z]+#"));
    QSet<QString> found;
    for (auto it = placeholder.globalMatch(text); it.hasNext();)
        found.insert(it.next().captured());
    return found;
}

// A state whose language table holds the given rows.
modMain::State stateWithRows(const QStringList &names)
{
    modMain::State state;
    for (int k = 0; k < names.size(); ++k)
        state.LanguageTable[k] = { names[k], names[k] };
    state.LanguageCount = int(names.size()) - 1;
    return state;
}

} // namespace

class TestLang : public QObject {
    Q_OBJECT

private slots:
    // --- String resource files ----------------------------------------------------------------
    void parseReadsNumberedTexts_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("blockBase");
        QTest::addColumn<int>("id");
        QTest::addColumn<QString>("text");
        QTest::newRow("blanks kept") << QByteArray("29\t Progress \n") << 0 << 29 << " Progress ";
        QTest::newRow("line break") << QByteArray("5\ta\\n\\nb") << 0 << 5 << "a\r\n\r\nb";
        QTest::newRow("backslash") << QByteArray("5\tC:\\\\TTD\\\\") << 0 << 5 << "C:\\TTD\\";
        QTest::newRow("backslash then n") << QByteArray("5\ta\\\\nb") << 0 << 5 << "a\\nb";
        QTest::newRow("tab escape") << QByteArray("5\ta\\tb") << 0 << 5 << "a\tb";
        QTest::newRow("tab in text") << QByteArray("5\ta\tb") << 0 << 5 << "a\tb";
        QTest::newRow("hash in text") << QByteArray("5\t# not a comment") << 0 << 5 << "# not a comment";
        QTest::newRow("empty text") << QByteArray("60\t\n") << 0 << 60 << "";
        QTest::newRow("CR LF lines") << QByteArray("5\tx \r\n6\ty\r\n") << 0 << 5 << "x ";
        QTest::newRow("CR LF, next line") << QByteArray("5\tx\r\n6\ty\r\n") << 0 << 6 << "y";
        QTest::newRow("UTF-8") << QByteArray("501\tinglés o español") << 0 << 501 << "inglés o español";
        QTest::newRow("block base") << QByteArray("5\tx") << 3000 << 3005 << "x";
        QTest::newRow("comments and blank lines")
            << QByteArray("# head\n\n   \n\r\n#5\tno\n5\tyes\n") << 0 << 5 << "yes";
    }
    void parseReadsNumberedTexts()
    {
        QFETCH(QByteArray, file);
        QFETCH(int, blockBase);
        QFETCH(int, id);
        QFETCH(QString, text);
        QStringList problems;
        const QHash<int, QString> strings = StringResources::parse(file, blockBase, &problems);
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
        QVERIFY(strings.contains(id));
        QCOMPARE(strings.value(id), text);
    }

    void parseSkipsAndNamesBadLines_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("no tab") << QByteArray("5 text");
        QTest::newRow("no number") << QByteArray("\ttext");
        QTest::newRow("not a number") << QByteArray("five\ttext");
        QTest::newRow("unknown escape") << QByteArray("5\ta\\qb");
        QTest::newRow("lone backslash at end") << QByteArray("5\tab\\");
        QTest::newRow("duplicate number") << QByteArray("1\tsecond");
    }
    void parseSkipsAndNamesBadLines()
    {
        QFETCH(QByteArray, line);
        QStringList problems;
        const QHash<int, QString> strings = StringResources::parse("1\tfirst\n" + line + "\n9\tlast\n", 0, &problems);
        QCOMPARE(problems.size(), 1);
        QVERIFY2(problems.first().startsWith(QLatin1String("line 2")), qPrintable(problems.first()));
        QCOMPARE(strings.keys().size(), 2);
        QCOMPARE(strings.value(1), QStringLiteral("first"));
        QCOMPARE(strings.value(9), QStringLiteral("last"));
    }

    // --- The program's own texts ----------------------------------------------------------------
    void builtInTableHasTheEnglishTexts()
    {
        const StringResources &r = StringResources::builtIn();
        for (int n = 1; n <= modMain::UiTextCount; ++n)
            QVERIFY2(r.string(n).has_value() == (n != 109), qPrintable(QString::number(n)));
        QVERIFY(r.string(500).has_value());
        QVERIFY(r.string(501).has_value());
        for (int k = 0; k < Languages.size(); ++k)
            QCOMPARE(r.string(600 + k), std::optional<QString>(Languages[k]));
        QVERIFY(!r.string(608).has_value());
        QCOMPARE(r.string(650), std::optional<QString>(QStringLiteral("8")));
    }

    void resourceFilesLoadWithoutProblems()
    {
        const QString folder = sourceResources();
        QVERIFY(!folder.isEmpty());
        QStringList problems;
        const StringResources fromSource = StringResources::load(folder, &problems);
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
        // Every file is a language of the list; none is left unread.
        const QStringList files = QDir(folder).entryList({ QStringLiteral("*.txt") }, QDir::Files);
        QCOMPARE(files.size(), Languages.size());
        for (const QString &file : files)
            QVERIFY2(Languages.contains(QFileInfo(file).baseName().toUpper()), qPrintable(file));
        // The program carries exactly these texts.
        const StringResources &builtIn = StringResources::builtIn();
        for (int id = 0; id < 9000; ++id)
            QVERIFY2(fromSource.string(id) == builtIn.string(id), qPrintable(QString::number(id)));
    }

    void everyLanguageTranslatesEveryText_data()
    {
        QTest::addColumn<int>("k");
        for (int k = 1; k < Languages.size(); ++k)
            QTest::newRow(qPrintable(Languages[k])) << k;
    }
    void everyLanguageTranslatesEveryText()
    {
        QFETCH(int, k);
        const StringResources &r = StringResources::builtIn();
        for (int n = 1; n <= modMain::UiTextCount; ++n) {
            const std::optional<QString> english = r.string(n);
            const std::optional<QString> translated = r.string(k * 1000 + n);
            const QByteArray where = QByteArray::number(k * 1000 + n);
            QVERIFY2(translated.has_value() == english.has_value(), where.constData());
            if (english)
                QVERIFY2(placeholdersOf(*translated).contains(placeholdersOf(*english)), where.constData());
        }
        QVERIFY(r.string(k * 1000 + 8).value_or(QString()).contains(QLatin1String("Ploven")));
        QVERIFY(r.string(8).value_or(QString()).contains(QLatin1String("Ploven")));
    }

    void englishTextsAreWordForWord_data()
    {
        QTest::addColumn<int>("id");
        QTest::addColumn<QString>("text");
        QTest::newRow("1") << 1 << "&File";
        QTest::newRow("29") << 29 << " Progress ";
        QTest::newRow("33") << 33 << "Chose the program's language:";
        QTest::newRow("71") << 71 << "Open TTDPatch a settings file";
        QTest::newRow("101") << 101 << "Vexal Pro will attemp to create the TTD registry entries now.";
        QTest::newRow("129") << 129 << "Please do not try to run this program from a network.";
        QTest::newRow("130") << 130
                             << "Vexal Pro is downloading information from the Internet. It is not recommended to "
                                "close the program now. Are you sure you want to exit?";
        QTest::newRow("177") << 177
                             << "The mentioned components should be present in the #SYSPATH# folder in order for "
                                "the program to work.\r\n\r\nOnce you install them with the proper installer, this "
                                "message won't appear again.";
        QTest::newRow("501") << 501
                             << "When contacting the developer please do it in english or spanish only.\r\n\r\n"
                                "Al contactar al autor por favor hazlo en inglés o español únicamente.";
    }
    void englishTextsAreWordForWord()
    {
        QFETCH(int, id);
        QFETCH(QString, text);
        QCOMPARE(StringResources::builtIn().string(id), std::optional<QString>(text));
    }

    // --- Language table -----------------------------------------------------------------------
    void fontCharsetForCodePage_data()
    {
        QTest::addColumn<QString>("codePage");
        QTest::addColumn<int>("charset");
        const QList<std::pair<const char *, int>> cases = { { "932", 128 }, { "936", 134 }, { "949", 129 },
            { "950", 136 }, { "1250", 238 }, { "1251", 204 }, { "1252", 0 }, { "1253", 161 }, { "1254", 162 },
            { "1255", 177 }, { "1256", 178 }, { "1257", 186 }, { "437", 0 }, { "", 0 } };
        for (const auto &[codePage, charset] : cases)
            QTest::newRow(*codePage ? codePage : "empty") << QString::fromLatin1(codePage) << charset;
        QTest::newRow("cut at NUL") << QStringLiteral("1250") + QChar(0) + QStringLiteral("xyz") << 238;
        QTest::newRow("NUL first") << QString(QChar(0)) + QStringLiteral("1250") << 0;
    }
    void fontCharsetForCodePage()
    {
        QFETCH(QString, codePage);
        QFETCH(int, charset);
        modMain::State state;
        modLanguage::chooseCharacterSet(state, codePage);
        QCOMPARE(state.FontCharset, charset);
    }

    void languageIdentifier_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("identifier");
        const QList<std::pair<const char *, int>> cases = { { "SCHINESE", 2052 }, { "TCHINESE", 3076 },
            { "CZECH", 1029 }, { "DANISH", 1030 }, { "DUTCH", 1043 }, { "ENGLISH", 2057 }, { "FINNISH", 1035 },
            { "FRENCH", 1036 }, { "GERMAN", 1031 }, { "GREEK", 1032 }, { "HEBREW", 1037 }, { "ITALIAN", 1040 },
            { "JAPANESE", 1041 }, { "KOREAN", 1042 }, { "NORWEGIAN", 1044 }, { "POLISH", 1045 }, { "PORTUGUESE", 2070 },
            { "RUSSIAN", 1049 }, { "SLOVAK", 1051 }, { "SPANISH", 11274 }, { "SWEDISH", 1053 }, { "HUNGARIAN", 1038 },
            { "KLINGON", 0 }, { "SPANISH2", 0 }, { "", 0 } };
        for (const auto &[name, identifier] : cases)
            QTest::newRow(*name ? name : "empty") << QString::fromLatin1(name) << identifier;
    }
    void languageIdentifier()
    {
        QFETCH(QString, name);
        QFETCH(int, identifier);
        QCOMPARE(modLanguage::languageIdentifier(name), identifier);
    }

    void languageDisplayName_data()
    {
        QTest::addColumn<int>("identifier");
        QTest::addColumn<QString>("name");
        QTest::newRow("11274") << 11274 << "Spanish (Argentina)";
        QTest::newRow("2057") << 2057 << "English (United Kingdom)";
        QTest::newRow("2070") << 2070 << "Portuguese (Portugal)";
        QTest::newRow("1038") << 1038 << "Hungarian (Hungary)";
        QTest::newRow("1053") << 1053 << "Swedish (Sweden)";
        QTest::newRow("unknown") << 1 << "";
    }
    void languageDisplayName()
    {
        QFETCH(int, identifier);
        QFETCH(QString, name);
        QCOMPARE(modLanguage::languageDisplayName(identifier), name);
    }

    void languageListFromBuiltInTexts()
    {
        modMain::State state;
        modLanguage::buildLanguageList(state, StringResources::builtIn());
        const QStringList displayNames = { "English (United Kingdom)", "Spanish (Argentina)", "Portuguese (Portugal)",
            "Hungarian (Hungary)", "Czech (Czechia)", "Finnish (Finland)", "Dutch (Netherlands)", "Swedish (Sweden)" };
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
    }

    void detectDefaultLanguage_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("index"); // the index starts at 4
        QTest::newRow("Spanish") << "SPANISH"
                                 << "SPANISH" << 1;
        QTest::newRow("longer name") << "SPANISH (ARGENTINA)"
                                     << "SPANISH" << 1;
        QTest::newRow("lower case") << "spanish"
                                    << "SPANISH" << 1;
        QTest::newRow("Portuguese") << "Portuguese"
                                    << "PORTUGUESE" << 2;
        QTest::newRow("English") << "ENGLISH"
                                 << "ENGLISH" << 0;
        QTest::newRow("German") << "GERMAN"
                                << "ENGLISH" << 4;
        QTest::newRow("shorter than a row") << "SPAN"
                                            << "ENGLISH" << 4;
        QTest::newRow("empty") << ""
                               << "ENGLISH" << 4;
    }
    void detectDefaultLanguage()
    {
        QFETCH(QString, locale);
        QFETCH(QString, name);
        QFETCH(int, index);
        modMain::State state;
        modLanguage::buildLanguageList(state, StringResources::builtIn());
        state.LanguageIndex = 4;
        modLanguage::detectDefaultLanguage(state, locale);
        QCOMPARE(state.LanguageName, name);
        QCOMPARE(state.LanguageIndex, index);
    }

    void findLanguageIndexTakesLastRowContainingTheName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("index"); // the index starts at 3
        QTest::newRow("in three rows") << "ENGLISH" << 2;
        QTest::newRow("in one row") << "ENGLISH2" << 1;
        QTest::newRow("part of a name") << "GLISH" << 2;
        QTest::newRow("case-sensitive") << "english" << 3;
        QTest::newRow("in no row") << "GERMAN" << 3;
    }
    void findLanguageIndexTakesLastRowContainingTheName()
    {
        QFETCH(QString, name);
        QFETCH(int, index);
        modMain::State state = stateWithRows({ "ENGLISH", "ENGLISH2", "XENGLISH", "SPANISH" });
        state.LanguageIndex = 3;
        state.LanguageName = name;
        modLanguage::findLanguageIndex(state);
        QCOMPARE(state.LanguageIndex, index);
    }

    // --- Interface texts ----------------------------------------------------------------------
    void loadInterfaceTexts_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("index");
        QTest::addColumn<QList<int>>("removed");
        QTest::addColumn<int>("n");
        QTest::addColumn<QString>("text");
        QTest::newRow("English") << "ENGLISH" << 0 << QList<int>() << 1 << "&File";
        QTest::newRow("English, last") << "ENGLISH" << 0 << QList<int>() << 180 << "No matches found.";
        QTest::newRow("English whatever the index") << "ENGLISH" << 3 << QList<int>() << 29 << " Progress ";
        QTest::newRow("Spanish") << "SPANISH" << 1 << QList<int>() << 1 << "&Archivo";
        QTest::newRow("Spanish, last") << "SPANISH" << 1 << QList<int>() << 180 << "No se encontraron coincidencias.";
        QTest::newRow("Hungarian") << "HUNGARIAN" << 3 << QList<int>() << 29 << " Folyamat ";
        QTest::newRow("Hungarian text missing") << "HUNGARIAN" << 3 << QList<int> { 3029 } << 29 << " Progress ";
        QTest::newRow("missing in both") << "SPANISH" << 1 << QList<int>() << 109 << "";
        QTest::newRow("removed in both") << "SPANISH" << 1 << QList<int> { 1, 1001 } << 1 << "";
        QTest::newRow("English missing") << "ENGLISH" << 0 << QList<int> { 1 } << 1 << "";
    }
    void loadInterfaceTexts()
    {
        QFETCH(QString, name);
        QFETCH(int, index);
        QFETCH(QList<int>, removed);
        QFETCH(int, n);
        QFETCH(QString, text);
        StringResources resources = StringResources::builtIn();
        for (int id : removed)
            resources.remove(id);
        modMain::State state;
        state.LanguageName = name;
        state.LanguageIndex = index;
        modLanguage::loadInterfaceTexts(state, resources);
        QCOMPARE(state.UiText[std::size_t(n)], text);
    }

    // --- Flags --------------------------------------------------------------------------------
    void everyLanguageHasItsOwnFlag()
    {
        QList<QImage> flags;
        for (const QString &name : Languages) {
            const QPixmap flag = flagPixmap(name);
            QCOMPARE(flag.size(), QSize(30, 20));
            const QImage image = flag.toImage();
            for (int i = 0; i < flags.size(); ++i)
                QVERIFY2(image != flags[i], qPrintable(name + QLatin1String(" looks like ") + Languages[i]));
            flags.append(image);
        }
        const QImage unknown = flagPixmap(QStringLiteral("KLINGON")).toImage();
        QVERIFY(!flags.contains(unknown));
        const QColor middle = unknown.pixelColor(15, 10);
        QVERIFY(middle.red() == middle.green() && middle.green() == middle.blue());
        QVERIFY(middle.red() > 64 && middle.red() < 240);
    }

    void setFlagRemembersTheIconNumber()
    {
        QLabel label;
        setFlag(label, 3, QStringLiteral("HUNGARIAN"));
        QCOMPARE(label.property("iconNumber").toInt(), 5);
        QCOMPARE(label.pixmap().toImage(), flagPixmap(QStringLiteral("HUNGARIAN")).toImage());
        setFlag(label, 0, QStringLiteral("ENGLISH"));
        QCOMPARE(label.property("iconNumber").toInt(), 2);
    }
};

QTEST_MAIN(TestLang)
#include "tst_lang.moc"
