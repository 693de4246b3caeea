#pragma once

#include <QEvent>
#include <QPaintEvent>
#include <QWidget>

#include <algorithm>
#include <iterator>
#include <vector>

namespace varno::test {

// Every paint event of a widget and its descendants, each with the widget's
// object name and the rectangle painted in the watched widget's coordinates.
class PaintLog final : public QObject {
public:
    struct Paint {
        QString widget;
        QRect rect;
    };

    explicit PaintLog(QWidget& root)
        : m_root(root)
    {
        root.installEventFilter(this);
        for (QWidget* child : root.findChildren<QWidget*>())
            child->installEventFilter(this);
    }

    std::vector<Paint> paints;

    std::vector<Paint> of(const QString& name) const
    {
        std::vector<Paint> found;
        std::copy_if(paints.begin(), paints.end(), std::back_inserter(found), [&](const Paint& paint) { return paint.widget == name; });
        return found;
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            auto* widget = static_cast<QWidget*>(watched);
            const QRect rect = static_cast<QPaintEvent*>(event)->rect();
            paints.push_back({widget->objectName(), QRect(widget->mapTo(&m_root, rect.topLeft()), rect.size())});
        }
        return false;
    }

private:
    QWidget& m_root;
};

} // namespace varno::test
