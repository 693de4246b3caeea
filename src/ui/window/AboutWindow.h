#pragma once

#include <QDialog>

namespace varno {

// "About VARNO MUSIC": the name, the version and what the app is. Sized to
// its content and centred on the screen the first time it opens; one window
// is reused for every later opening.
class AboutWindow final : public QDialog {
    Q_OBJECT

public:
    static const QString kTitle;
    // The identifier other parts open it by.
    static const QString kIdentifier;

    explicit AboutWindow(QWidget* parent = nullptr);

    // Shows it, raising it when it is already open.
    void present();

private:
    bool m_placed = false;
};

} // namespace varno
