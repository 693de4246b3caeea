#include "DesktopDialogs.h"

#include "library/AudioImportSupport.h"
#include "platform/FileManagerReveal.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QListView>
#include <QTreeView>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

#include <algorithm>

namespace varno {

namespace {

std::vector<FileURL> toFileURLs(const QStringList& paths)
{
    std::vector<FileURL> urls;
    urls.reserve(paths.size());
    for (const QString& path : paths)
        urls.push_back(FileURL::fromLocalFile(path));
    return urls;
}

} // namespace

std::vector<FileURL> QtDesktopDialogs::chooseFiles(QWidget* parent, const QString& title, const QString& acceptLabel,
                                                   const QStringList& extensions)
{
    QFileDialog dialog(parent, title);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (!acceptLabel.isEmpty())
        dialog.setLabelText(QFileDialog::Accept, acceptLabel);
    if (!extensions.isEmpty()) {
        QStringList patterns;
        for (const QString& extension : extensions)
            patterns.append(QStringLiteral("*.") + extension);
        const bool audio = std::all_of(extensions.cbegin(), extensions.cend(), [](const QString& extension) {
            return AudioImportSupport::supportedAudioExtensions().contains(extension);
        });
        dialog.setNameFilter((audio ? QObject::tr("Audio files (%1)") : QObject::tr("Files (%1)")).arg(patterns.join(QLatin1Char(' '))));
    }
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return toFileURLs(dialog.selectedFiles());
}

std::vector<FileURL> QtDesktopDialogs::chooseFolders(QWidget* parent, const QString& title)
{
    // The desktop's own chooser picks one folder at a time; Qt's widget-based
    // one takes several once its views select more than one row (Ctrl- and
    // Shift-click, as in any list).
    QFileDialog dialog(parent, title);
    prepareFolderChooser(dialog);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return toFileURLs(dialog.selectedFiles());
}

void prepareFolderChooser(QFileDialog& dialog)
{
    dialog.setObjectName(QStringLiteral("folderChooser"));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setLabelText(QFileDialog::Accept, QObject::tr("Add"));
    for (QAbstractItemView* view : dialog.findChildren<QAbstractItemView*>()) {
        if (qobject_cast<QListView*>(view) || qobject_cast<QTreeView*>(view))
            view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    }
}

std::optional<FileURL> QtDesktopDialogs::chooseImageFile(QWidget* parent, const QString& title)
{
    const QString path = QFileDialog::getOpenFileName(parent, title, QString(),
                                                      QObject::tr("Images (*.png *.jpg *.jpeg *.gif *.bmp *.webp *.tif *.tiff *.heic)"));
    if (path.isEmpty())
        return std::nullopt;
    return FileURL::fromLocalFile(path);
}

std::optional<FileURL> QtDesktopDialogs::chooseSaveFile(QWidget* parent, const QString& title, const QString& suggestedName)
{
    QFileDialog dialog(parent, title);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.selectFile(suggestedName);
    const QString suffix = QFileInfo(suggestedName).suffix();
    if (!suffix.isEmpty())
        dialog.setDefaultSuffix(suffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return FileURL::fromLocalFile(dialog.selectedFiles().first());
}

bool QtDesktopDialogs::confirmDestructive(QWidget* parent, const QString& title, const QString& message,
                                          const QString& destructiveButton)
{
    QMessageBox box(QMessageBox::Warning, title, message, QMessageBox::NoButton, parent);
    QPushButton* destroy = box.addButton(destructiveButton, QMessageBox::DestructiveRole);
    QPushButton* cancel = box.addButton(QMessageBox::Cancel);
    box.setDefaultButton(cancel);
    box.exec();
    return box.clickedButton() == destroy;
}

void QtDesktopDialogs::showAlert(QWidget* parent, const QString& title, const QString& message)
{
    QMessageBox box(QMessageBox::Warning, title, title.isEmpty() ? message : title, QMessageBox::Ok, parent);
    if (!title.isEmpty())
        box.setInformativeText(message);
    box.exec();
}

void QtDesktopDialogs::showWarning(QWidget* parent, const QString& message, const QString& informativeText)
{
    QMessageBox box(QMessageBox::Warning, message, message, QMessageBox::Ok, parent);
    box.setInformativeText(informativeText);
    box.exec();
}

void QtDesktopDialogs::showNotice(QWidget* parent, const QString& message, const QString& informativeText)
{
    QMessageBox box(QMessageBox::Information, message, message, QMessageBox::Ok, parent);
    box.setInformativeText(informativeText);
    box.exec();
}

void QtDesktopDialogs::revealFile(const FileURL& file)
{
    // The file manager selects the file; without one that answers, its
    // folder opens in whatever the desktop opens folders with.
    revealInFileManager(QDBusConnection::sessionBus(), file.toLocalFile(),
                        [](const QString& folder) { QDesktopServices::openUrl(QUrl::fromLocalFile(folder)); });
}

} // namespace varno
