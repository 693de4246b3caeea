#pragma once

#include "storage/FileURL.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

class QFileDialog;
class QWidget;

namespace varno {

// The desktop's modal dialogs and file browser, behind one interface so views
// can be tested without a person clicking. Main thread only; every call
// blocks until the user answers, as modal dialogs do.
class DesktopDialogs {
public:
    virtual ~DesktopDialogs() = default;

    // Several files with one of `extensions` (lower case, no dot); empty when
    // cancelled.
    virtual std::vector<FileURL> chooseFiles(QWidget* parent, const QString& title, const QString& acceptLabel,
                                             const QStringList& extensions) = 0;
    // One or more folders; empty when cancelled.
    virtual std::vector<FileURL> chooseFolders(QWidget* parent, const QString& title) = 0;
    // One image file; none when cancelled.
    virtual std::optional<FileURL> chooseImageFile(QWidget* parent, const QString& title) = 0;
    // Where to write a new file, starting at `suggestedName` (which carries
    // the extension wanted); none when cancelled.
    virtual std::optional<FileURL> chooseSaveFile(QWidget* parent, const QString& title, const QString& suggestedName) = 0;
    // A question with a destructive button and "Cancel"; true when the
    // destructive button was chosen.
    virtual bool confirmDestructive(QWidget* parent, const QString& title, const QString& message,
                                    const QString& destructiveButton) = 0;
    // An alert with one "OK" button. An empty title shows only the message.
    virtual void showAlert(QWidget* parent, const QString& title, const QString& message) = 0;
    // A warning with informative text and one "OK" button.
    virtual void showWarning(QWidget* parent, const QString& message, const QString& informativeText) = 0;
    // News that is no failure (some songs added, some skipped), with
    // informative text and one "OK" button.
    virtual void showNotice(QWidget* parent, const QString& message, const QString& informativeText) = 0;
    // Shows the file in the desktop's file browser.
    virtual void revealFile(const FileURL& file) = 0;
};

// Makes `dialog` Qt's own folder chooser, which takes several folders at
// once; what chooseFolders() shows.
void prepareFolderChooser(QFileDialog& dialog);

// The real dialogs: QFileDialog, QMessageBox, and the desktop's file manager
// showing the file selected (or its folder, when no file manager answers).
class QtDesktopDialogs final : public DesktopDialogs {
public:
    std::vector<FileURL> chooseFiles(QWidget* parent, const QString& title, const QString& acceptLabel,
                                     const QStringList& extensions) override;
    std::vector<FileURL> chooseFolders(QWidget* parent, const QString& title) override;
    std::optional<FileURL> chooseImageFile(QWidget* parent, const QString& title) override;
    std::optional<FileURL> chooseSaveFile(QWidget* parent, const QString& title, const QString& suggestedName) override;
    bool confirmDestructive(QWidget* parent, const QString& title, const QString& message,
                            const QString& destructiveButton) override;
    void showAlert(QWidget* parent, const QString& title, const QString& message) override;
    void showWarning(QWidget* parent, const QString& message, const QString& informativeText) override;
    void showNotice(QWidget* parent, const QString& message, const QString& informativeText) override;
    void revealFile(const FileURL& file) override;
};

} // namespace varno
