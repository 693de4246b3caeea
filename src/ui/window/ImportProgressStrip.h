#pragma once

#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;

namespace varno {

class LibraryEngine;

// The library's running import, shown along the bottom of the centre while
// it runs: "Importing 120 of 4,000", the file being read, a progress bar and
// "Cancel". It never blocks the window; songs imported before a cancel stay.
class ImportProgressStrip final : public QWidget {
    Q_OBJECT

public:
    explicit ImportProgressStrip(LibraryEngine& library, QWidget* parent = nullptr);

    QString statusText() const;
    QPushButton* cancelButton() const { return m_cancel; }

private:
    void follow();

    LibraryEngine& m_library;
    QLabel* m_status;
    QLabel* m_file;
    QProgressBar* m_bar;
    QPushButton* m_cancel;
};

} // namespace varno
