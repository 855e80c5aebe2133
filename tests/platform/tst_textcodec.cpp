#include "platform/textcodec.h"

#include <QRandomGenerator>
#include <QtTest>

namespace {

// What decode() gives for a byte that it keeps as it is.
QString escape(int byte)
{
    return QString(QChar(0xDC00 + byte));
}

} // namespace

class TestTextCodec : public QObject {
    Q_OBJECT

private slots:
    void bytesComeBackUnchanged_data()
    {
        QTest::addColumn<QString>("page");
        for (const QString &page :
            QStringLiteral("874 1250 1251 1252 1253 1254 1255 1256 1257 1258 932 936 949 950").split(QLatin1Char(' ')))
            QTest::newRow(qPrintable(page)) << page;
    }
    // Every byte alone and all in a row, every lead byte before every trail byte (each pair on its
    // own line), random bytes, and line ends with a NUL, which also decode as themselves.
    void bytesComeBackUnchanged()
    {
        QFETCH(QString, page);
        const TextCodec codec(page);
        QCOMPARE(codec.codePage(), page);
        const auto roundTrip = [&codec](const QByteArray &bytes) { return codec.encode(codec.decode(bytes)); };
        QByteArray all, pairs, random(3 * 4096, Qt::Uninitialized);
        for (int byte = 0; byte < 256; ++byte) {
            QCOMPARE(roundTrip(QByteArray(1, char(byte))), QByteArray(1, char(byte)));
            all.append(char(byte));
        }
        for (int lead = 0x80; lead < 256; ++lead) {
            for (int trail = 0; trail < 256; ++trail)
                pairs.append(char(lead)).append(char(trail)).append('\n');
        }
        QRandomGenerator generator(1);
        for (char &byte : random)
            byte = char(generator.bounded(256));
        QCOMPARE(roundTrip(all), all);
        QCOMPARE(roundTrip(pairs), pairs);
        QCOMPARE(roundTrip(random), random);
        const QByteArray lineEnds("a\r\nb\0c\n\r", 8);
        QCOMPARE(codec.decode(lineEnds), QStringLiteral("a\r\nb") + QChar(u'\0') + QStringLiteral("c\n\r"));
        QCOMPARE(roundTrip(lineEnds), lineEnds);
    }

    // The page is the row name's first word. Where `decodes`, the bytes also decode to the text.
    void knownTexts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("decodes");
        const auto both = [](const char *row, const QString &text, const QByteArray &bytes) {
            QTest::newRow(row) << text << bytes << true;
        };
        const auto encodes = [](const char *row, const QString &text, const QByteArray &bytes) {
            QTest::newRow(row) << text << bytes << false;
        };
        both("1252 euro", QStringLiteral("€"), "\x80");
        both("1250 S caron", QStringLiteral("Š"), "\x8A");
        both("1251 A", QStringLiteral("\u0410"), "\xC0");
        both("1253 Alpha", QStringLiteral("\u0391"), "\xC1");
        both("932 a", QStringLiteral("あ"), "\x82\xA0");
        both("932 NEC symbol", QStringLiteral("≒"), "\x81\xE0");
        both("936 ni", QStringLiteral("你"), "\xC4\xE3");
        both("949 ga", QStringLiteral("가"), "\xB0\xA1");
        both("950 zhong", QStringLiteral("中"), "\xA4\xA4");
        // Undefined bytes keep their Latin-1 meaning in single-byte pages and are escaped in the others.
        both("1252 undefined", QStringLiteral("\u0081"), "\x81");
        both("932 undefined", escape(0xFD) + u'x', "\xFDx");
        both("932 lead at end", u'x' + escape(0x82), "x\x82");
        both("932 bad trail", escape(0x82) + u'\r', "\x82\x0D");
        both("936 escaped byte", escape(0xFF), "\xFF");
        // glibc reports this undefined code only after it has passed it.
        both("949 undefined", escape(0xA2) + escape(0xE8), "\xA2\xE8");
        // NEC's copy of the IBM kanji: encoding writes the IBM one, so this one stays bytes.
        both("932 second copy", escape(0xED) + u'@', "\xED\x40");
        encodes("932 IBM copy", QStringLiteral("\u7E8A"), "\xFA\x5C");
        encodes("1252 missing", QStringLiteral("aあb"), "a?b");
        encodes("932 missing", QStringLiteral("éあ"), "?\x82\xA0");
        encodes("1252 lone surrogate", QString(QChar(0xD800) + u'a'), "?a");
        // The low half of this pair is in the escape range, but the pair is one character.
        encodes("1252 pair, not escape", QStringLiteral("\U00010080"), "?");
        encodes("936 pair", QStringLiteral("\U00010080x"), "?x");
        // 1258 has no precomposed Vietnamese letters; they go out as letter plus accent.
        encodes("1258 composed", QStringLiteral("ạ"), "a\xF2");
    }
    void knownTexts()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QFETCH(bool, decodes);
        const TextCodec codec(QString::fromLatin1(QTest::currentDataTag()).split(QLatin1Char(' ')).first());
        QCOMPARE(codec.encode(text), bytes);
        if (decodes)
            QCOMPARE(codec.decode(bytes), text);
    }

    void unknownPageFallsBackTo1252()
    {
        for (const QString &page : {QStringLiteral("437"), QString(), QStringLiteral("65001")}) {
            const TextCodec codec(page);
            QCOMPARE(codec.codePage(), QStringLiteral("1252"));
            QCOMPARE(codec.decode("\x80\xE9"), QStringLiteral("€é"));
        }
    }
};

QTEST_GUILESS_MAIN(TestTextCodec)
#include "tst_textcodec.moc"
