#pragma once

#include <QString>

class QLabel;
class QWidget;

namespace varno {

// A small capitalised caption over a group of the right panel ("AUDIO",
// "METADATA"), in the dimmed text colour.
QLabel* makeSectionCaption(const QString& title, QWidget* parent);

} // namespace varno
