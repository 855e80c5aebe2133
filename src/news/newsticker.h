#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

class QCheckBox;
class QLabel;
class QTimer;
class QWidget;
struct Services;

// One item of the news file: four lines, the last of them a separator nobody reads.
struct NewsRecord {
    QString headline;
    QString description; // or "nodesc": a click opens the link at once
    QString link; // or "nolink"
    bool operator==(const NewsRecord &) const = default;
};

// A ticker shows a few dozen headlines; a file of thousands is no news file of ours.
inline constexpr qsizetype NewsRecordLimit = 200;
// The records of a news file's text, up to the first headline that is blank, the end of the text
// or the limit above.
QList<NewsRecord> readNewsRecords(const QString &text);

// The main window's controls the news line works on.
struct NewsControls {
    QWidget &picNews;
    QTimer &tmrNews;
    QCheckBox &chkTicker;
};

// The news panel of the main window: headlines from the news file rise one after the other like a
// conveyor, each resting at the top for a while; clicking one shows its text or opens its link.
class NewsTicker : public QObject {
    Q_OBJECT
public:
    // Positions and sizes are kept in twips, so that a headline takes the same number of steps to
    // scroll away whatever the screen's dpi; they become pixels only when a label is placed.
    static constexpr int MaxHeadlineWidthTwips = 3975;
    static constexpr int LabelWidthTwips = 3955;
    static constexpr int OneLineTwips = 240;
    static constexpr int TwoLinesTwips = 480;
    static constexpr int StepTwips = 20;
    static constexpr int ScrollInterval = 100;
    static constexpr int RestInterval = 4000;

    static QString placeholderText();

    NewsTicker(Services &services, const NewsControls &controls, QObject *parent = nullptr);

    void ResetNewsTicker();
    void UpdateNewsTicker();
    void chkTicker_Click(bool ticked);
    void tmrNews_Timer();

    // While set, the window's other mouse-move handlers restart tmrNews.
    bool NewsRunning() const { return m_newsRunning; }

    // lblNews(0..n-1), in index order.
    QList<QLabel *> labels() const;
    int headIndex() const { return m_headIndex; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Line {
        QPointer<QLabel> label;
        int top = 0;
        int height = OneLineTwips;
    };

    QLabel *createLabel(int index, int top);
    void place(const Line &line);
    void sizeToText(Line &line);
    void showPlaceholder();
    void loadNewsFile();
    void lblNews_MouseDown(int index);
    int indexOf(const QObject *watched) const;

    Services &m_services;
    QWidget &m_picNews;
    QTimer &m_tmrNews;
    QList<Line> m_lines;
    QStringList m_descriptions;
    QStringList m_links;
    bool m_newsRunning = false;
    int m_stackHeight = 0;
    int m_headIndex = 0;
};
