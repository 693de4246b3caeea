#pragma once

#include <QLabel>

namespace varno {

// A one-line label that ends its text with "…" when it does not fit,
// keeping the whole text as its tooltip and for whoever reads it.
class ElidedLabel final : public QLabel {
    Q_OBJECT

public:
    explicit ElidedLabel(QWidget* parent = nullptr);

    void setFullText(const QString& text);
    const QString& fullText() const { return m_fullText; }

    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void elide();

    QString m_fullText;
};

} // namespace varno
