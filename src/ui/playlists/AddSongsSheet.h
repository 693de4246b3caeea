#pragma once

#include "storage/TrackList.h"

#include <QDialog>

#include <optional>

class QLabel;
class QListView;
class QPushButton;

namespace varno {

class AddSongsModel;

// The "Add Songs" sheet of a playlist: the songs offered, each ticked or
// not by a click, the count ticked, "Cancel" and "Add" (Ctrl+Return). It
// only asks: "Add" emits addRequested() with the ticked songs in list order,
// and the playlist view answers with finishAdding() or showFailure(). The
// view keeps one sheet for its life, so ticks survive a "Cancel".
// Main thread only.
class AddSongsSheet final : public QDialog {
    Q_OBJECT

public:
    static const QString kTitle;
    static const QString kSelectedSuffix;
    static const QString kCancel;
    static const QString kAdd;

    explicit AddSongsSheet(QWidget* parent = nullptr);

    AddSongsModel& model() const { return *m_model; }
    QListView* list() const { return m_list; }
    // "3 selected".
    QString countText() const;
    const std::optional<QString>& failure() const { return m_failure; }

    // Collects the ticked songs and emits addRequested(); does nothing while
    // an earlier request is unanswered.
    void add();
    // The songs were added: the ticks are emptied and the sheet closes.
    void finishAdding();
    // The songs were not added: the sheet stays open, ticks and all, and says
    // why.
    void showFailure(const QString& description);

signals:
    void addRequested(const varno::TrackList& tracks);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void updateFooter();

    AddSongsModel* m_model = nullptr;
    QListView* m_list = nullptr;
    QLabel* m_countLabel = nullptr;
    QLabel* m_failureLabel = nullptr;
    QPushButton* m_addButton = nullptr;
    std::optional<QString> m_failure;
    bool m_adding = false;
};

} // namespace varno
