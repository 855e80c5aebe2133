#include "colourcoding.h"

#include "cfgrules.h"
#include "common/mainwindowhost.h"
#include "common/modmain.h"
#include "editortext.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QPlainTextEdit>

ColourCoding::ColourCoding(QPlainTextEdit &cfgEditor, QPlainTextEdit &listEditor, const QCheckBox &colourOption,
    MainWindowHost &host, QObject *parent)
    : QObject(parent)
    , m_cfg(cfgEditor)
    , m_list(listEditor)
    , m_colourOption(colourOption)
    , m_host(host)
{
    m_cfgViewport = m_cfg.viewport();
    for (QPlainTextEdit *edit : {&m_cfg, &m_list}) {
        edit->installEventFilter(this);
        edit->viewport()->installEventFilter(this);
        edit->viewport()->setMouseTracking(true);
    }
}

QPlainTextEdit &ColourCoding::editor(Editor which) const
{
    return which == Editor::Cfg ? m_cfg : m_list;
}

bool ColourCoding::lineStart(Editor which) const
{
    const EditorText text(editor(which));
    return cfgRules::lineStartRule(text.caretOffset(), text.charactersBeforeCaret(3));
}

void ColourCoding::UpdateLine(Editor which)
{
    // Both editors look at the configuration editor's setting here, as they always have.
    if (!m_colourOption.isChecked() || EditorText(m_cfg).isBlank())
        return;
    EditorText text(editor(which));
    const auto line = text.caretLine();
    if (!line)
        return;
    const QString content = EditorText::lineText(*line);
    const auto kind = which == Editor::Cfg ? cfgRules::cfgLineKind(content) : cfgRules::listLineKind(content);
    text.colourLine(*line, cfgRules::colourOf(kind));
}

void ColourCoding::keyPress(Editor which)
{
    if (which == Editor::List && EditorText(m_list).isBlank())
        return;
    if (lineStart(which))
        UpdateLine(which);
    modMain::state().FilesModified = true;
}

void ColourCoding::keyRelease(Editor which, int key)
{
    if (which == Editor::List && EditorText(m_list).isBlank())
        return;
    if (key == Qt::Key_Return || key == Qt::Key_Enter)
        UpdateLine(which); // the new line must not keep the colour of the line above
    const bool navigation = key == Qt::Key_PageUp || key == Qt::Key_PageDown || key == Qt::Key_End
        || key == Qt::Key_Home || key == Qt::Key_Left || key == Qt::Key_Up || key == Qt::Key_Right
        || key == Qt::Key_Down;
    if (key != Qt::Key_Shift && !navigation && lineStart(which))
        UpdateLine(which);
}

bool ColourCoding::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    // Only these events concern the editors; others also come while an editor is being destroyed,
    // when it must not be asked anything.
    if (type != QEvent::KeyPress && type != QEvent::KeyRelease && type != QEvent::MouseMove)
        return QObject::eventFilter(watched, event);
    const Editor which = (watched == &m_cfg || watched == m_cfgViewport) ? Editor::Cfg : Editor::List;
    switch (type) {
    case QEvent::KeyPress: {
        // Only keys that type something (Enter, Backspace and Delete included) count, as
        // character keys do; arrows and the like never change the text.
        const auto *key = static_cast<QKeyEvent *>(event);
        if (!key->text().isEmpty())
            keyPress(which);
        break;
    }
    case QEvent::KeyRelease: {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (!key->isAutoRepeat())
            keyRelease(which, key->key());
        break;
    }
    case QEvent::MouseMove:
        if (watched != &m_cfg && watched != &m_list)
            m_host.showPanelHint();
        break;
    default: break;
    }
    return QObject::eventFilter(watched, event);
}
