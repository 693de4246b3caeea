#include "OstrelMediaStudioApp.h"

#include "app/DIContainer.h"
#include "ui/MainWindow.h"

namespace varno {

OstrelMediaStudioApp::OstrelMediaStudioApp() = default;
OstrelMediaStudioApp::~OstrelMediaStudioApp() = default;

DIContainer& OstrelMediaStudioApp::container()
{
    if (!m_container)
        m_container = DIContainer::createOrExit();
    return *m_container;
}

void OstrelMediaStudioApp::start()
{
    m_mainWindow = std::make_unique<MainWindow>(container());
    m_mainWindow->show();
}

} // namespace varno
