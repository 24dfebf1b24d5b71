#pragma once

#include "../viewmodels/NBEWorkspaceFixture.h"
#include "NBEMainView.h"

#include <QSignalSpy>

#include <memory>

// A real main view over the fixture's folder, shown and started, with no
// language server and the fixture's settings.
class NBEMainViewFixture : public NBEWorkspaceFixture
{
protected:
    std::unique_ptr<NBEPreferences> preferences;
    std::unique_ptr<NBEMainView> view;

    void makeView(const NBEWorkspaceTimings &timings = {})
    {
        preferences = std::make_unique<NBEPreferences>(*settings);
        NBEWorkspaceEnvironment environment;
        environment.webServerLaunch = [](const QString &) {
            return std::optional<NBEWebLSPLaunch>();
        };
        environment.activity = &activity;
        environment.preferences = preferences.get();
        environment.timings = timings;
        view = std::make_unique<NBEMainView>(rootURL(), environment);
        view->resize(1000, 700);
        view->show();
        QSignalSpy started(view.get(), &NBEMainView::started);
        view->start();
        ASSERT_TRUE(NBETest::waitUntil([&] { return !started.isEmpty(); }));
    }
};
