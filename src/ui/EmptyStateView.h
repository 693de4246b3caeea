#pragma once

#include <QWidget>

class QLabel;

namespace varno {

// What a list shows instead of rows when it has none: a large symbol, a
// title and a line of help, centred.
class EmptyStateView final : public QWidget {
    Q_OBJECT

public:
    EmptyStateView(const QString& symbol, const QString& title, const QString& subtitle, QWidget* parent = nullptr);

    void setContent(const QString& symbol, const QString& title, const QString& subtitle);
    QString title() const;
    QString subtitle() const;

private:
    QLabel* m_icon = nullptr;
    QLabel* m_title = nullptr;
    QLabel* m_subtitle = nullptr;
};

} // namespace varno
