#pragma once

#include <memory>

namespace varno {

class DIContainer;
class MainWindow;

// The application value: holds the composition root and the main window for
// the life of the process. Main thread only; a QApplication must exist.
class OstrelMediaStudioApp final {
public:
    OstrelMediaStudioApp();
    ~OstrelMediaStudioApp();

    // Builds the container (ending the process on a critical boot failure)
    // and shows the main window.
    void start();

    DIContainer& container();

private:
    std::unique_ptr<DIContainer> m_container;
    // Declared after the container so it is destroyed first: views observe
    // the engines and must go before them.
    std::unique_ptr<MainWindow> m_mainWindow;
};

} // namespace varno
