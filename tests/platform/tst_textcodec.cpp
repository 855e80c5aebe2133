#include "platform/textcodec.h"

#include <QRandomGenerator>
#include <QtTest>

namespace {

const QStringList AllPages = {QStringLiteral("874"), QStringLiteral("1250"), QStringLiteral("1251"),
    QStringLiteral("1252"), QStringLiteral("1253"), QStringLiteral("1254"), QStringLiteral("1255"),
    QStringLiteral("1256"), QStringLiteral("1257"), QStringLiteral("1258"), QStringLiteral("932"),
    QStringLiteral("936"), QStringLiteral("949"), QStringLiteral("950")};

void addPageRows()
{
    QTest::addColumn<QString>("page");
    for (const QString &page : AllPages)
        QTest::newRow(qPrintable(page)) << page;
}

// What decode() gives for a byte that it keeps as it is.
QString escape(int byte)
{
    return QString(QChar(0xDC00 + byte));
}

QByteArray randomBytes(quint32 seed, qsizetype size)
{
    QRandomGenerator random(seed);
    QByteArray bytes(size, Qt::Uninitialized);
    for (char &byte : bytes)
        byte = char(random.bounded(256));
    return bytes;
}

} // namespace

class TestTextCodec : public QObject {
    Q_OBJECT

private slots:
    void everySingleByteSurvives_data() { addPageRows(); }
    void everySingleByteSurvives()
    {
        QFETCH(QString, page);
        const TextCodec codec(page);
        QCOMPARE(codec.codePage(), page);
        QByteArray all;
        for (int byte = 0; byte < 256; ++byte) {
            const QByteArray one(1, char(byte));
            QCOMPARE(codec.encode(codec.decode(one)), one);
            all.append(char(byte));
        }
        QCOMPARE(codec.encode(codec.decode(all)), all);
    }

    // Each pair stands on its own line, so every lead byte meets every trail byte.
    void everyPairOfBytesSurvives_data() { addPageRows(); }
    void everyPairOfBytesSurvives()
    {
        QFETCH(QString, page);
        const TextCodec codec(page);
        QByteArray pairs;
        for (int lead = 0x80; lead < 256; ++lead) {
            for (int trail = 0; trail < 256; ++trail)
                pairs.append(char(lead)).append(char(trail)).append('\n');
        }
        QCOMPARE(codec.encode(codec.decode(pairs)), pairs);
    }

    void randomBytesSurvive_data() { addPageRows(); }
    void randomBytesSurvive()
    {
        QFETCH(QString, page);
        const TextCodec codec(page);
        for (const quint32 seed : {1u, 2u, 3u}) {
            const QByteArray bytes = randomBytes(seed, 4096);
            QCOMPARE(codec.encode(codec.decode(bytes)), bytes);
        }
    }

    void lineEndsAndNulPassThrough_data() { addPageRows(); }
    void lineEndsAndNulPassThrough()
    {
        QFETCH(QString, page);
        const TextCodec codec(page);
        const QByteArray bytes("a\r\nb\0c\n\r", 8);
        const QString text = QStringLiteral("a\r\nb") + QChar(u'\0') + QStringLiteral("c\n\r");
        QCOMPARE(codec.decode(bytes), text);
        QCOMPARE(codec.encode(text), bytes);
    }

    void knownCharacters_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("1252 euro") << QStringLiteral("1252") << QByteArray("\x80") << QStringLiteral("€");
        QTest::newRow("1252 e acute") << QStringLiteral("1252") << QByteArray("\xE9") << QStringLiteral("é");
        QTest::newRow("1250 S caron") << QStringLiteral("1250") << QByteArray("\x8A") << QStringLiteral("Š");
        QTest::newRow("1251 A") << QStringLiteral("1251") << QByteArray("\xC0") << QStringLiteral("\u0410");
        QTest::newRow("1253 Alpha") << QStringLiteral("1253") << QByteArray("\xC1") << QStringLiteral("\u0391");
        QTest::newRow("932 a") << QStringLiteral("932") << QByteArray("\x82\xA0") << QStringLiteral("あ");
        QTest::newRow("932 NEC symbol") << QStringLiteral("932") << QByteArray("\x81\xE0") << QStringLiteral("≒");
        QTest::newRow("936 ni") << QStringLiteral("936") << QByteArray("\xC4\xE3") << QStringLiteral("你");
        QTest::newRow("949 ga") << QStringLiteral("949") << QByteArray("\xB0\xA1") << QStringLiteral("가");
        QTest::newRow("950 zhong") << QStringLiteral("950") << QByteArray("\xA4\xA4") << QStringLiteral("中");
        // Undefined bytes keep their Latin-1 meaning in single-byte pages and are escaped in the others.
        QTest::newRow("1252 undefined") << QStringLiteral("1252") << QByteArray("\x81") << QStringLiteral("\u0081");
        QTest::newRow("932 undefined") << QStringLiteral("932") << QByteArray("\xFDx") << QString(escape(0xFD) + u'x');
        QTest::newRow("932 lead at end") << QStringLiteral("932") << QByteArray("x\x82")
                                         << QString(u'x' + escape(0x82));
        QTest::newRow("932 bad trail") << QStringLiteral("932") << QByteArray("\x82\x0D")
                                       << QString(escape(0x82) + u'\r');
        // glibc reports this undefined code only after it has passed it.
        QTest::newRow("949 undefined") << QStringLiteral("949") << QByteArray("\xA2\xE8")
                                       << QString(escape(0xA2) + escape(0xE8));
        // NEC's copy of the IBM kanji: encoding writes the IBM one, so this one stays bytes.
        QTest::newRow("932 second copy") << QStringLiteral("932") << QByteArray("\xED\x40")
                                         << QString(escape(0xED) + u'@');
    }
    void knownCharacters()
    {
        QFETCH(QString, page);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        const TextCodec codec(page);
        QCOMPARE(codec.decode(bytes), text);
        QCOMPARE(codec.encode(text), bytes);
    }

    void encoding_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("1252") << QStringLiteral("1252") << QStringLiteral("€é") << QByteArray("\x80\xE9");
        QTest::newRow("1250") << QStringLiteral("1250") << QStringLiteral("Š") << QByteArray("\x8A");
        QTest::newRow("missing in 1252") << QStringLiteral("1252") << QStringLiteral("aあb") << QByteArray("a?b");
        QTest::newRow("missing in 932") << QStringLiteral("932") << QStringLiteral("éあ") << QByteArray("?\x82\xA0");
        QTest::newRow("IBM copy in 932") << QStringLiteral("932") << QStringLiteral("\u7E8A") << QByteArray("\xFA\x5C");
        QTest::newRow("escaped byte") << QStringLiteral("936") << escape(0xFF) << QByteArray("\xFF");
        QTest::newRow("lone surrogate") << QStringLiteral("1252") << QString(QChar(0xD800) + u'a') << QByteArray("?a");
        // The low half of this pair is in the escape range, but the pair is one character.
        QTest::newRow("pair, not escape") << QStringLiteral("1252") << QStringLiteral("\U00010080") << QByteArray("?");
        QTest::newRow("pair in 936") << QStringLiteral("936") << QStringLiteral("\U00010080x") << QByteArray("?x");
        // 1258 has no precomposed Vietnamese letters; they go out as letter plus accent.
        QTest::newRow("1258 composed") << QStringLiteral("1258") << QStringLiteral("ạ") << QByteArray("a\xF2");
    }
    void encoding()
    {
        QFETCH(QString, page);
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QCOMPARE(TextCodec(page).encode(text), bytes);
    }

    void unknownPageFallsBackTo1252_data()
    {
        QTest::addColumn<QString>("page");
        QTest::newRow("437") << QStringLiteral("437");
        QTest::newRow("empty") << QString();
        QTest::newRow("65001") << QStringLiteral("65001");
    }
    void unknownPageFallsBackTo1252()
    {
        QFETCH(QString, page);
        const TextCodec codec(page);
        QCOMPARE(codec.codePage(), QStringLiteral("1252"));
        QCOMPARE(codec.decode(QByteArray("\x80\xE9")), QStringLiteral("€é"));
    }
};

QTEST_GUILESS_MAIN(TestTextCodec)
#include "tst_textcodec.moc"
