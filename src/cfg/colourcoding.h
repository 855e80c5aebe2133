#pragma once

#include <QObject>

class MainWindowHost;
class QCheckBox;
class QPlainTextEdit;

// The editors' key and mouse handlers: a line is recoloured when a key is typed or released near
// its start, since only its first two characters decide its colour.
class ColourCoding : public QObject {
    Q_OBJECT
public:
    enum class Editor { Cfg, List };

    ColourCoding(QPlainTextEdit &cfgEditor, QPlainTextEdit &listEditor, const QCheckBox &colourOption,
        MainWindowHost &host, QObject *parent = nullptr);

    // Recolours the caret's line of one editor, leaving the caret where it was.
    void UpdateLine(Editor editor);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void keyPress(Editor editor);
    void keyRelease(Editor editor, int key);
    bool lineStart(Editor editor) const;
    QPlainTextEdit &editor(Editor which) const;

    QPlainTextEdit &m_cfg;
    QPlainTextEdit &m_list;
    const QObject *m_cfgViewport = nullptr;
    const QCheckBox &m_colourOption;
    MainWindowHost &m_host;
};
