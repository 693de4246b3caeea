#pragma once

#include <QMainWindow>

class QLabel;
class QWidget;

namespace varno {

class DIContainer;

// The main window. Until the library views land it shows a placeholder and
// the recovery banner. Main thread only; it observes the container and never
// owns it.
class MainWindow final : public QMainWindow {
    Q_OBJECT

public:
    explicit MainWindow(DIContainer& container, QWidget* parent = nullptr);

private:
    void updateRecoveryBanner();

    DIContainer& m_container;
    QWidget* m_banner = nullptr;
    QLabel* m_bannerText = nullptr;
};

} // namespace varno
