#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QSize>
#include <QString>

namespace App {

// The window's symbols: the names the design uses ("folder", "magnifyingglass", …) drawn from
// the vendored Lucide icons, tinted to any colour. Unknown names draw nothing.
namespace Icons {

// The symbol at `size` logical pixels for a screen of `devicePixelRatio`, in `color` (its
// opacity included). Cached per name, size and ratio.
QPixmap pixmap(const QString &symbol, const QColor &color, int size, qreal devicePixelRatio = 1.0);
QIcon icon(const QString &symbol, const QColor &color, int size);
bool exists(const QString &symbol);

} // namespace Icons

} // namespace App
