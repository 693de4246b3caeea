#include "OstrelMediaStudioApp.h"

#include "app/DIContainer.h"
#include "app/FileOpenHandler.h"
#include "app/PlaybackRemote.h"
#include "platform/ApplicationFolder.h"
#include "platform/DesktopEntry.h"
#include "platform/Diagnostics.h"
#include "platform/Error.h"
#include "platform/SingleInstance.h"
#include "platform/SettingsPreferencesStore.h"
#include "ui/DesktopDialogs.h"
#include "ui/MainWindow.h"
#include "workspace/TrackTableLayoutState.h"
#include "workspace/WindowMemory.h"
#include "workspace/WorkspacePanelState.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDir>
#include <QStandardPaths>

namespace varno {

OstrelMediaStudioApp::OstrelMediaStudioApp() = default;
OstrelMediaStudioApp::~OstrelMediaStudioApp()
{
    m_remote.reset();
    m_fileOpener.reset();
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

WindowMemory& OstrelMediaStudioApp::windowMemory()
{
    if (!m_windowMemory)
        m_windowMemory = std::make_unique<WindowMemory>(preferences());
    return *m_windowMemory;
}

std::optional<int> OstrelMediaStudioApp::start(const QStringList& arguments)
{
    const QStringList uris = FileOpenHandler::toFileUris(arguments);
    // Decided before anything touches the state files: a second app over
    // the same library would race the first one on them.
    QString library;
    try {
        library = applicationFolderPath();
    } catch (const std::exception&) {
        // The container reports the missing data folder itself.
    }
    if (!library.isEmpty()) {
        try {
            makeApplicationFolderPrivate();
        } catch (const Error& error) {
            // Nothing else would say why a folder of another user is left
            // open; a folder that cannot be used at all fails the start later.
            printDiagnostic(QStringLiteral("The library folder was left as it is: %1").arg(error.description()));
        }
    }
    m_instance = std::make_unique<SingleInstance>(QDBusConnection::sessionBus(), library);
    switch (m_instance->claim(uris)) {
    case SingleInstance::Outcome::Primary:
        break;
    case SingleInstance::Outcome::HandedOver:
        return 0;
    case SingleInstance::Outcome::Unanswered:
        return 1;
    }

    DIContainer& root = container();
    m_dialogs = std::make_unique<QtDesktopDialogs>();
    m_mainWindow = std::make_unique<MainWindow>(root.windowEngines(), panelState(), trackTableLayout(), windowMemory(), *m_dialogs);
    m_mainWindow->show();

    m_fileOpener = std::make_unique<FileOpenHandler>(root);
    QObject::connect(m_instance.get(), &SingleInstance::activated, m_fileOpener.get(), [this](const QStringList& forwarded) {
        raiseWindow();
        m_fileOpener->open(forwarded);
    });

    MprisIdentity identity;
    identity.busName = QStringLiteral("varno");
    identity.identity = QStringLiteral("VARNO MUSIC");
    identity.desktopEntry = kDesktopEntryID;
    identity.canRaise = true;
    identity.supportedUriSchemes = {QStringLiteral("file")};
    identity.supportedMimeTypes = supportedAudioMimeTypes();
    PlaybackRemote::Hooks hooks;
    hooks.raise = [this] { raiseWindow(); };
    // Queued, so the caller's reply leaves before the event loop ends; the
    // session is written on the way out as when the window closes.
    hooks.quit = [] { QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit, Qt::QueuedConnection); };
    hooks.openUris = [this](const QStringList& opened) { m_fileOpener->open(opened); };
    const QString coverFolder = QDir(QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation)).filePath(QStringLiteral("varno/now-playing"));
    m_remote = std::make_unique<PlaybackRemote>(QDBusConnection::sessionBus(), std::move(identity), root.queueEngine(), root.audioEngine(),
                                                &root.artworkCache(), coverFolder, std::move(hooks));
    m_remote->publish();

    m_fileOpener->open(uris);
    return std::nullopt;
}

void OstrelMediaStudioApp::raiseWindow()
{
    if (!m_mainWindow)
        return;
    if (m_mainWindow->isMinimized())
        m_mainWindow->showNormal();
    m_mainWindow->show();
    m_mainWindow->raise();
    m_mainWindow->activateWindow();
}

} // namespace varno
