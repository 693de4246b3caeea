#include "OstrelMediaStudioApp.h"

#include "app/DIContainer.h"
#include "platform/SettingsPreferencesStore.h"
#include "ui/DesktopDialogs.h"
#include "ui/MainWindow.h"
#include "workspace/TrackTableLayoutState.h"
#include "workspace/WorkspacePanelState.h"

namespace varno {

OstrelMediaStudioApp::OstrelMediaStudioApp() = default;
OstrelMediaStudioApp::~OstrelMediaStudioApp()
{
    m_mainWindow.reset();
    if (m_container)
        m_container->finishBackgroundWork();
}

DIContainer& OstrelMediaStudioApp::container()
{
    if (!m_container)
        m_container = DIContainer::createOrExit();
    return *m_container;
}

PreferencesStore& OstrelMediaStudioApp::preferences()
{
    if (!m_preferences)
        m_preferences = std::make_unique<SettingsPreferencesStore>();
    return *m_preferences;
}

WorkspacePanelState& OstrelMediaStudioApp::panelState()
{
    if (!m_panelState)
        m_panelState = std::make_unique<WorkspacePanelState>(preferences());
    return *m_panelState;
}

TrackTableLayoutState& OstrelMediaStudioApp::trackTableLayout()
{
    if (!m_trackTableLayout)
        m_trackTableLayout = std::make_unique<TrackTableLayoutState>(preferences());
    return *m_trackTableLayout;
}

void OstrelMediaStudioApp::start()
{
    DIContainer& root = container();
    m_dialogs = std::make_unique<QtDesktopDialogs>();
    m_mainWindow = std::make_unique<MainWindow>(root, panelState(), trackTableLayout(), *m_dialogs);
    m_mainWindow->show();
}

} // namespace varno
