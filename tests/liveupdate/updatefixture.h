#pragma once

#include "liveupdate/liveupdate.h"
#include "shell/frmmain.h"
#include "testsupport.h"

#include <QListWidget>

#include <optional>

// The program over a copy of the demo game and a loopback server that it takes for both of its
// update servers, made afresh by each test.
struct UpdateFixture {
    std::optional<UpdateServer> m_server;
    std::optional<GameSession> m_session;

    frmMain &window() { return m_session->main(); }
    LiveUpdate &live() { return window().liveUpdate(); }
    MainWindowControls &c() { return window().controls(); }
    ScriptedDialogs &dialogs() { return m_session->t.dialogs; }
    QString lastLogLine() { return linesOf(*c().lstLiveupdate).value(c().lstLiveupdate->count() - 1); }
    // With the game's configuration open, and nothing asked or started before the test's own steps.
    void start(bool realProcesses = false)
    {
        m_session.emplace(QStringLiteral("game"), realProcesses);
        m_session->open();
        dialogs().takePrompts();
        m_session->t.shell.calls.clear();
    }
    // The program goes before the server it talks to.
    void reset()
    {
        m_session.reset();
        m_server.reset();
    }
};
