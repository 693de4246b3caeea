#pragma once

#include <QAbstractButton>

namespace varno {

// A row of the sidebar outside the playlist tree (a fixed screen, the
// settings button): a symbol and a label, drawn as selected when told.
// Clicking it emits clicked(); the sidebar decides what that means.
class SidebarRow final : public QAbstractButton {
    Q_OBJECT

public:
    SidebarRow(const QString& symbol, const QString& label, QWidget* parent = nullptr);

    bool isSelected() const { return m_selected; }
    void setSelected(bool selected);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    bool m_selected = false;
    bool m_hovered = false;
    // Focus reached with the keyboard is shown; focus a window hands its
    // first widget when it opens is not, or that row would look chosen.
    bool m_keyboardFocus = false;
};

} // namespace varno
