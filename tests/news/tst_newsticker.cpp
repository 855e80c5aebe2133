// The news panel: the news file, the scrolling conveyor, clicks on headlines.
#include "testsupport.h"

#include "common/twips.h"
#include "news/newsticker.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QMouseEvent>
#include <QtTest>

using modMain::state;
using namespace Qt::StringLiterals;

namespace {

const QString Link = u"http://127.0.0.1/news/1"_s;
const QColor DarkBlue(0, 0, 192);

QByteArray record(const QString &headline, const QString &description = u"nodesc"_s, const QString &link = u"nolink"_s)
{
    return (QStringList {headline, description, link, u"---"_s}.join(QLatin1String("\r\n")) + "\r\n").toLatin1();
}

struct Panel {
    Panel()
    {
        state().TempPath = t.root() + u"/temp/"_s;
        state().NewsTmpPath = state().TempPath + u"news.tmp"_s;
        QDir().mkpath(state().TempPath);
        picNews.setMouseTracking(true); // as the main window has it
        picNews.show();
    }
    int px(int twips) const { return twipsToPixels(picNews, twips); }
    QLabel &label(int i) const { return *ticker.labels().at(i); }
    QColor colour(int i) const { return label(i).palette().color(QPalette::WindowText); }
    // A null array: no news file.
    void load(const QByteArray &news)
    {
        if (!news.isNull())
            writeBytes(state().NewsTmpPath, news);
        ticker.UpdateNewsTicker();
    }
    // Ticks until the head label has left the top; how many it took.
    int ticksToLeave()
    {
        int ticks = 0;
        for (const int head = ticker.headIndex(); ticker.headIndex() == head && ticks < 1000; ++ticks)
            ticker.tmrNews_Timer();
        return ticks;
    }
    bool stopped() const { return !ticker.NewsRunning() && !tmrNews.isActive() && label(0).isHidden(); }

    TestServices t;
    QWidget picNews;
    QTimer tmrNews;
    QCheckBox chkTicker;
    NewsTicker ticker {*t.services, {picNews, tmrNews, chkTicker}};
};

void send(QWidget &widget, QEvent::Type type, Qt::MouseButton button = Qt::NoButton)
{
    QMouseEvent event(type, QPointF(2, 2), widget.mapToGlobal(QPointF(2, 2)), button, button, Qt::NoModifier);
    QApplication::sendEvent(&widget, &event);
}

} // namespace

class NewsTickerTest : public QObject {
    Q_OBJECT

private slots:
    void records()
    {
        const NewsRecord first {u"Café"_s, u"About it"_s, Link}, cut {u"Two"_s, u"Only this"_s, QString()};
        QCOMPARE(readNewsRecords(u"Café\r\nAbout it\r\n%1\r\n---\r\n"_s.arg(Link)), QList {first});
        QCOMPARE(readNewsRecords(u"Café\nAbout it\n%1\n---\nTwo\nOnly this"_s.arg(Link)), (QList {first, cut}));
        // A blank headline ends the news.
        QCOMPARE(readNewsRecords(u"Café\r\nAbout it\r\n%1\r\n\r\n  \r\nx\r\ny\r\nz"_s.arg(Link)), QList {first});
    }

    void withoutHeadlinesThePanelHidesAtTheFirstTick()
    {
        // An empty first line, and no news file at all.
        for (const QByteArray &news : {QByteArray("\r\nA story\r\nnolink\r\n---\r\n"), QByteArray()}) {
            Panel p;
            p.load(news);
            QCOMPARE(p.ticker.labels().size(), 1);
            QCOMPARE(p.label(0).text(), NewsTicker::placeholderText());
            QVERIFY(p.ticker.NewsRunning() && p.tmrNews.isActive() && !p.label(0).isHidden());
            p.ticker.tmrNews_Timer();
            QVERIFY(p.stopped());
        }
    }

    // The mouse over a headline stops them; resuming, when it moves on, is the main window's.
    void headlinesStackUpAndCirculate()
    {
        Panel p;
        p.load("Caf\xe9 opens\r\nAbout it\r\n" + Link.toLatin1() + "\r\n---\r\n" + record(u"Second"_s));
        QCOMPARE(p.ticker.labels().size(), 2);
        QCOMPARE(p.label(0).text(), u"Café opens"_s); // Windows-1252
        QCOMPARE(p.colour(1), DarkBlue);
        QCOMPARE(p.label(1).y(), p.px(240));
        QCOMPARE(p.tmrNews.interval(), 4000);
        p.ticker.tmrNews_Timer();
        QCOMPARE(p.tmrNews.interval(), 100);
        QCOMPARE(p.ticksToLeave(), 11);
        QCOMPARE(p.ticker.headIndex(), 1);
        QCOMPARE(p.tmrNews.interval(), 4000);
        QCOMPARE(p.label(0).y(), p.px(240));
        QCOMPARE(p.label(1).y(), 0);
        QCOMPARE(p.ticksToLeave(), 12);
        QCOMPARE(p.ticker.headIndex(), 0);
        send(p.label(1), QEvent::MouseMove);
        QVERIFY(!p.tmrNews.isActive());
        p.tmrNews.start();
        QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
        QApplication::sendEvent(&p.label(0), &enter);
        QVERIFY(!p.tmrNews.isActive());
    }

    void click_data()
    {
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("link");
        QTest::addColumn<Qt::MouseButton>("button");
        QTest::addColumn<bool>("running");
        QTest::addColumn<Answer>("answer"); // None: no message box
        QTest::addColumn<MessageButtons>("buttons");
        QTest::addColumn<bool>("opens");
        QTest::addColumn<bool>("resumes");
        const QString nodesc = u"nodesc"_s, nolink = u"nolink"_s, story = u"Story"_s;
        const auto left = Qt::LeftButton, right = Qt::RightButton;
        const auto okCancel = MessageButtons::OkCancel, ok = MessageButtons::Ok;
        QTest::newRow("nodesc") << nodesc << Link << left << true << Answer::None << ok << true << true;
        QTest::newRow("nodesc, nolink") << nodesc << nolink << left << true << Answer::None << ok << false << true;
        QTest::newRow("OK") << story << Link << left << true << Answer::Ok << okCancel << true << false;
        QTest::newRow("Cancel") << story << Link << left << true << Answer::Cancel << okCancel << false << false;
        QTest::newRow("nolink") << story << nolink << left << true << Answer::Ok << ok << false << true;
        QTest::newRow("right button") << nodesc << Link << right << true << Answer::None << ok << false << false;
        QTest::newRow("not running") << nodesc << Link << left << false << Answer::None << ok << false << false;
    }
    void click()
    {
        QFETCH(QString, description);
        QFETCH(QString, link);
        QFETCH(Qt::MouseButton, button);
        QFETCH(bool, running);
        QFETCH(Answer, answer);
        QFETCH(bool, opens);
        Panel p;
        p.load(record(u"Other"_s) + record(u"Click me"_s, description, link));
        p.tmrNews.stop();
        if (!running)
            p.ticker.ResetNewsTicker();
        QLabel &clicked = *p.ticker.labels().last();
        if (answer != Answer::None)
            p.t.dialogs.queueAnswer(answer);
        send(clicked, QEvent::MouseButtonPress, button);
        const auto prompts = p.t.dialogs.prompts();
        QCOMPARE(prompts.size(), answer == Answer::None ? 0 : 1);
        if (answer != Answer::None) {
            QCOMPARE(prompts[0].text, description);
            QTEST(prompts[0].buttons, "buttons");
        }
        QCOMPARE(p.t.shell.calls.size(), opens ? 1 : 0);
        if (opens)
            QCOMPARE(p.t.shell.calls[0].target, link);
        QTEST(p.tmrNews.isActive(), "resumes");
        const bool handled = running && button == Qt::LeftButton;
        QCOMPARE(clicked.palette().color(QPalette::WindowText),
            handled ? QApplication::palette(&clicked).color(QPalette::WindowText) : DarkBlue);
        QCOMPARE(p.colour(0), DarkBlue);
    }

    void tickerOption()
    {
        Panel p;
        writeBytes(state().NewsTmpPath, record(u"One"_s) + record(u"Two"_s));
        p.label(0).hide();
        p.chkTicker.setChecked(true);
        QCOMPARE(p.ticker.labels().size(), 2);
        QVERIFY(p.ticker.NewsRunning() && p.tmrNews.isActive() && !p.label(0).isHidden());
        p.chkTicker.setChecked(false);
        QCOMPARE(p.ticker.labels().size(), 1);
        QVERIFY(!p.picNews.findChild<QLabel *>(u"lblNews(1)"_s));
        QCOMPARE(p.label(0).text(), NewsTicker::placeholderText());
        QVERIFY(p.stopped());
        // With only the previous file, ticking the option does not bring it back; the previous
        // file goes when the news is read again, and it shows only when there is no newer one.
        const QString old = state().TempPath + u"news.old"_s;
        QVERIFY(QFile::rename(state().NewsTmpPath, old));
        p.chkTicker.setChecked(true);
        QVERIFY(p.stopped());
        p.ticker.UpdateNewsTicker();
        QVERIFY(!QFile::exists(old));
        QCOMPARE(p.label(0).text(), u"One"_s);
        writeBytes(old, record(u"Old news"_s));
        p.load(record(u"New news"_s));
        QVERIFY(!QFile::exists(old));
        QCOMPARE(p.label(0).text(), u"New news"_s);
    }

    void reloadFromWithinAClick()
    {
        Panel p;
        p.load(record(u"One"_s) + record(u"Two"_s, u"nodesc"_s, Link));
        p.t.shell.onCall = [&](const RecordingShell::Call &) { p.ticker.UpdateNewsTicker(); };
        send(p.label(1), QEvent::MouseButtonPress, Qt::LeftButton);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(p.t.shell.calls.size(), 1);
        QCOMPARE(p.picNews.findChildren<QLabel *>().size(), 2);
    }
};

QTEST_MAIN(NewsTickerTest)
#include "tst_newsticker.moc"
