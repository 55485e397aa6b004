#include "icons.h"

#include <QFile>
#include <QHash>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

// The icons live in a static library: its resources must be registered by hand.
static void registerIconResources()
{
    Q_INIT_RESOURCE(icons);
}

namespace App::Icons {

namespace {

// Symbol names of the design, mapped to the closest Lucide icon.
const QHash<QString, QString> &lucideNames()
{
    static const QHash<QString, QString> names = {
        {"square.and.pencil", "square-pen"},
        {"tray.and.arrow.down", "import"},
        {"folder", "folder-open"},
        {"clock.arrow.circlepath", "history"},
        {"curlybraces", "braces"},
        {"tablecells", "table"},
        {"doc.text", "file-text"},
        {"doc", "file"},
        {"text.alignleft", "align-left"},
        {"list.bullet.indent", "list-indent-increase"},
        {"chevron.left.forwardslash.chevron.right", "code-xml"},
        {"doc.text.magnifyingglass", "file-search"},
        {"arrow.uturn.backward", "undo-2"},
        {"arrow.uturn.forward", "redo-2"},
        {"magnifyingglass", "search"},
        {"textformat.size.smaller", "a-arrow-down"},
        {"textformat.size.larger", "a-arrow-up"},
        {"list.number", "list-ordered"},
        {"paintpalette", "palette"},
        {"gearshape", "settings"},
        {"gearshape.fill", "settings"},
        {"checkmark.circle.fill", "circle-check"},
        {"xmark.octagon.fill", "octagon-x"},
        {"hand.wave.fill", "hand"},
        {"checkmark.square.fill", "square-check"},
        {"square", "square"},
        {"doc.badge.plus", "file-plus"},
        {"xmark", "x"},
        {"trash", "trash-2"},
        {"chevron.down", "chevron-down"},
        {"arrow.down.to.line", "arrow-down-to-line"},
    };
    return names;
}

// The icon drawn in opaque black at the pixel size, to be tinted.
const QImage &mask(const QString &symbol, int pixels)
{
    static QHash<QString, QImage> cache;
    static const bool registered = (registerIconResources(), true);
    Q_UNUSED(registered);
    const QString key = symbol + QLatin1Char('@') + QString::number(pixels);
    auto found = cache.find(key);
    if (found != cache.end())
        return *found;
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    const auto name = lucideNames().constFind(symbol);
    if (name != lucideNames().constEnd()) {
        QFile file(QStringLiteral(":/icons/%1.svg").arg(*name));
        if (file.open(QIODevice::ReadOnly)) {
            QByteArray svg = file.readAll();
            svg.replace("currentColor", "#000000");
            QSvgRenderer renderer(svg);
            QPainter painter(&image);
            renderer.render(&painter, QRectF(0, 0, pixels, pixels));
        }
    }
    return *cache.insert(key, image);
}

} // namespace

bool exists(const QString &symbol)
{
    return lucideNames().contains(symbol);
}

QPixmap pixmap(const QString &symbol, const QColor &color, int size, qreal devicePixelRatio)
{
    const int pixels = std::max(1, qRound(size * devicePixelRatio));
    QImage tinted = mask(symbol, pixels);
    {
        QPainter painter(&tinted);
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(tinted.rect(), color);
    }
    QPixmap result = QPixmap::fromImage(tinted);
    result.setDevicePixelRatio(devicePixelRatio);
    return result;
}

QIcon icon(const QString &symbol, const QColor &color, int size)
{
    QIcon result;
    for (qreal ratio : {1.0, 2.0})
        result.addPixmap(pixmap(symbol, color, size, ratio));
    return result;
}

} // namespace App::Icons
