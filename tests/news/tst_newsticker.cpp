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

namespace {

const QString Link = QStringLiteral("http://127.0.0.1/news/1");
const QColor DarkBlue(0, 0, 192);

QByteArray record(const QString &headline, const QString &description = QStringLiteral("nodesc"),
    const QString &link = QStringLiteral("nolink"))
{
    return (QStringList {headline, description, link, QStringLiteral("---")}.join(QLatin1String("\r\n")) + "\r\n")
        .toLatin1();
}

struct Panel {
    Panel()
    {
        state().TempPath = t.root() + QLatin1String("/temp/");
        state().NewsTmpPath = state().TempPath + QLatin1String("news.tmp");
        QDir().mkpath(state().TempPath);
        picNews.setMouseTracking(true); // as the main window has it
        picNews.show();
    }
    int px(int twips) const { return twipsToPixels(picNews, twips); }
    QLabel &label(int i) const { return *ticker.labels().at(i); }
    QColor colour(int i) const { return label(i).palette().color(QPalette::WindowText); }
    void load(const QByteArray &news)
    {
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

// Stands in for the main window, which resumes the ticker when the mouse moves over its background.
struct ResumeOnMove : QObject {
    explicit ResumeOnMove(QTimer &timer)
        : timer(timer)
    { }
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::MouseMove)
            timer.start();
        return false;
    }
    QTimer &timer;
};

} // namespace

class NewsTickerTest : public QObject {
    Q_OBJECT

private slots:
    void records_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QList<NewsRecord>>("expected");
        const NewsRecord first {QStringLiteral("Café"), QStringLiteral("About it"), Link};
        QTest::newRow("CR LF") << QStringLiteral("Café\r\nAbout it\r\n%1\r\n---\r\n").arg(Link) << QList {first};
        const NewsRecord cut {QStringLiteral("Two"), QStringLiteral("Only this"), QString()};
        QTest::newRow("LF, cut short") << QStringLiteral("Café\nAbout it\n%1\n---\nTwo\nOnly this").arg(Link)
                                       << QList {first, cut};
        QTest::newRow("blank headline ends")
            << QStringLiteral("Café\r\nAbout it\r\n%1\r\n\r\n  \r\nx\r\ny\r\nz").arg(Link) << QList {first};
    }
    void records()
    {
        QFETCH(QString, text);
        QFETCH(QList<NewsRecord>, expected);
        QCOMPARE(readNewsRecords(text), expected);
    }

    void withoutHeadlinesThePanelHidesAtTheFirstTick_data()
    {
        QTest::addColumn<QByteArray>("news");
        QTest::newRow("empty first line") << QByteArray("\r\nA story\r\nnolink\r\n---\r\n");
        QTest::newRow("no news file") << QByteArray();
    }
    void withoutHeadlinesThePanelHidesAtTheFirstTick()
    {
        QFETCH(QByteArray, news);
        Panel p;
        if (!news.isNull())
            writeBytes(state().NewsTmpPath, news);
        p.ticker.UpdateNewsTicker();
        QCOMPARE(p.ticker.labels().size(), 1);
        QCOMPARE(p.label(0).text(), NewsTicker::placeholderText());
        QVERIFY(p.ticker.NewsRunning() && p.tmrNews.isActive() && !p.label(0).isHidden());
        p.ticker.tmrNews_Timer();
        QVERIFY(p.stopped());
    }

    void headlinesStackUpAndCirculate()
    {
        Panel p;
        p.load("Caf\xe9 opens\r\nAbout it\r\n" + Link.toLatin1() + "\r\n---\r\n" + record(QStringLiteral("Second")));
        QCOMPARE(p.ticker.labels().size(), 2);
        QVERIFY(!p.picNews.findChild<QLabel *>(QStringLiteral("lblNews(2)")));
        QCOMPARE(p.picNews.findChild<QLabel *>(QStringLiteral("lblNews(1)")), &p.label(1));
        QCOMPARE(p.label(0).text(), QStringLiteral("Café opens")); // Windows-1252
        QCOMPARE(p.ticker.description(0), QStringLiteral("About it"));
        QCOMPARE(p.ticker.link(0), Link);
        QCOMPARE(p.colour(1), DarkBlue);
        QCOMPARE(p.label(1).y(), p.px(240));
        QCOMPARE(p.tmrNews.interval(), 4000);
        p.ticker.tmrNews_Timer();
        QCOMPARE(p.tmrNews.interval(), 100);
        QCOMPARE(p.label(0).y(), p.px(-20));
        QCOMPARE(p.label(1).y(), p.px(220));
        QCOMPARE(p.ticksToLeave(), 11);
        QCOMPARE(p.ticker.headIndex(), 1);
        QCOMPARE(p.tmrNews.interval(), 4000);
        QCOMPARE(p.label(0).y(), p.px(240));
        QCOMPARE(p.label(1).y(), 0);
        QCOMPARE(p.ticksToLeave(), 12);
        QCOMPARE(p.ticker.headIndex(), 0);
        QCOMPARE(p.label(0).y(), 0);
    }

    void wideHeadlineTakesTwoLinesAndTwiceAsLong()
    {
        Panel p;
        p.load(record(QStringLiteral("A headline far too long for one line ").repeated(12))
            + record(QStringLiteral("Short")));
        QCOMPARE(p.label(0).size(), QSize(p.px(3975), p.px(480)));
        QVERIFY(p.label(0).wordWrap() && !p.label(1).wordWrap());
        QCOMPARE(p.label(1).height(), p.px(240));
        QCOMPARE(p.ticksToLeave(), 24);
        QCOMPARE(p.ticksToLeave(), 12);
    }

    void click_data()
    {
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("link");
        QTest::addColumn<Qt::MouseButton>("button");
        QTest::addColumn<bool>("running");
        QTest::addColumn<Answer>("answer");
        QTest::addColumn<int>("buttons"); // -1: no message box
        QTest::addColumn<bool>("opens");
        QTest::addColumn<bool>("resumes");
        const QString nodesc = QStringLiteral("nodesc"), nolink = QStringLiteral("nolink"),
                      story = QStringLiteral("Story");
        const int okCancel = int(MessageButtons::OkCancel), ok = int(MessageButtons::Ok);
        const Qt::MouseButton left = Qt::LeftButton;
        QTest::newRow("nodesc") << nodesc << Link << left << true << Answer::None << -1 << true << true;
        QTest::newRow("nodesc, nolink") << nodesc << nolink << left << true << Answer::None << -1 << true << true;
        QTest::newRow("OK") << story << Link << left << true << Answer::Ok << okCancel << true << false;
        QTest::newRow("Cancel") << story << Link << left << true << Answer::Cancel << okCancel << false << false;
        QTest::newRow("nolink") << story << nolink << left << true << Answer::Ok << ok << false << true;
        QTest::newRow("right button") << nodesc << Link << Qt::RightButton << true << Answer::None << -1 << false
                                      << false;
        QTest::newRow("not running") << nodesc << Link << left << false << Answer::None << -1 << false << false;
    }
    void click()
    {
        QFETCH(QString, description);
        QFETCH(QString, link);
        QFETCH(Qt::MouseButton, button);
        QFETCH(bool, running);
        QFETCH(Answer, answer);
        QFETCH(int, buttons);
        QFETCH(bool, opens);
        QFETCH(bool, resumes);
        Panel p;
        p.load(record(QStringLiteral("Other")) + record(QStringLiteral("Click me"), description, link));
        p.tmrNews.stop();
        if (!running)
            p.ticker.ResetNewsTicker();
        QLabel &clicked = *p.ticker.labels().last();
        if (answer != Answer::None)
            p.t.dialogs.queueAnswer(answer);
        send(clicked, QEvent::MouseButtonPress, button);
        const auto prompts = p.t.dialogs.prompts();
        QCOMPARE(prompts.size(), buttons < 0 ? 0 : 1);
        if (buttons >= 0) {
            QCOMPARE(prompts[0].title, QStringLiteral("News Flash"));
            QCOMPARE(prompts[0].text, description);
            QCOMPARE(prompts[0].icon, MessageIcon::Information);
            QCOMPARE(int(prompts[0].buttons), buttons);
        }
        QCOMPARE(p.t.shell.calls.size(), opens ? 1 : 0);
        if (opens)
            QCOMPARE(p.t.shell.calls[0].target, link);
        QCOMPARE(p.tmrNews.isActive(), resumes);
        const bool handled = running && button == Qt::LeftButton;
        QCOMPARE(clicked.palette().color(QPalette::WindowText),
            handled ? QApplication::palette(&clicked).color(QPalette::WindowText) : DarkBlue);
        QCOMPARE(p.colour(0), DarkBlue);
    }

    void previousNewsFile_data()
    {
        QTest::addColumn<bool>("current");
        QTest::newRow("moved back when news.tmp is missing") << false;
        QTest::newRow("dropped when news.tmp exists") << true;
    }
    void previousNewsFile()
    {
        QFETCH(bool, current);
        Panel p;
        const QString old = state().TempPath + QLatin1String("news.old");
        writeBytes(old, record(QStringLiteral("Old news")));
        if (current)
            writeBytes(state().NewsTmpPath, record(QStringLiteral("New news")));
        p.ticker.UpdateNewsTicker();
        QVERIFY(!QFile::exists(old));
        QCOMPARE(p.label(0).text(), current ? QStringLiteral("New news") : QStringLiteral("Old news"));
    }

    void tickerOption()
    {
        Panel p;
        writeBytes(state().NewsTmpPath, record(QStringLiteral("One")) + record(QStringLiteral("Two")));
        p.label(0).hide();
        p.chkTicker.setChecked(true);
        QCOMPARE(p.ticker.labels().size(), 2);
        QVERIFY(p.ticker.NewsRunning() && p.tmrNews.isActive() && !p.label(0).isHidden());
        p.chkTicker.setChecked(false);
        QCOMPARE(p.ticker.labels().size(), 1);
        QVERIFY(!p.picNews.findChild<QLabel *>(QStringLiteral("lblNews(1)")));
        QCOMPARE(p.label(0).text(), NewsTicker::placeholderText());
        QVERIFY(p.stopped());
        // With only the previous file, ticking the option does not bring it back.
        QVERIFY(QFile::rename(state().NewsTmpPath, state().TempPath + QLatin1String("news.old")));
        p.chkTicker.setChecked(true);
        QVERIFY(p.stopped());
    }

    void mouseOverHeadlineStopsTheTicker()
    {
        Panel p;
        ResumeOnMove window(p.tmrNews);
        p.picNews.installEventFilter(&window);
        p.load(record(QStringLiteral("One")) + record(QStringLiteral("Two")));
        send(p.label(1), QEvent::MouseMove);
        QVERIFY(!p.tmrNews.isActive());
        send(p.picNews, QEvent::MouseMove);
        QVERIFY(p.tmrNews.isActive());
        QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
        QApplication::sendEvent(&p.label(0), &enter);
        QVERIFY(!p.tmrNews.isActive());
    }

    void reloadFromWithinAClick()
    {
        Panel p;
        p.load(record(QStringLiteral("One")) + record(QStringLiteral("Two"), QStringLiteral("nodesc"), Link));
        p.t.shell.onCall = [&](const RecordingShell::Call &) { p.ticker.UpdateNewsTicker(); };
        send(p.label(1), QEvent::MouseButtonPress, Qt::LeftButton);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(p.t.shell.calls.size(), 1);
        QCOMPARE(p.picNews.findChildren<QLabel *>().size(), 2);
    }
};

QTEST_MAIN(NewsTickerTest)
#include "tst_newsticker.moc"
