#pragma once

#include <QWidget>

class QTimer;

namespace varno {

// A small turning arc that says "wait"; it turns only while shown.
class BusySpinner final : public QWidget {
    Q_OBJECT

public:
    explicit BusySpinner(int side, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QTimer* m_timer = nullptr;
    int m_angle = 0;
};

} // namespace varno
