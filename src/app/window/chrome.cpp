#include "chrome.h"

#include <cmath>

#include "highlighting/qtcolor.h"

#include <QFontDatabase>
#include <algorithm>
#include <QPalette>
#include <QWidget>

namespace App::Chrome {

namespace {

QColor withOpacity(QColor color, double opacity)
{
    color.setAlphaF(float(std::clamp(opacity, 0.0, 1.0)));
    return color;
}

int pixelsFor(double points)
{
    return std::max(1, qRound(points * 1.15));
}

} // namespace

QColor foreground(const Highlighting::Theme &theme, double opacity)
{
    return withOpacity(Highlighting::toQColor(theme.foreground()), opacity);
}

QColor background(const Highlighting::Theme &theme, double opacity)
{
    return withOpacity(Highlighting::toQColor(theme.background()), opacity);
}

QColor tint(const Highlighting::Theme &theme, double opacity)
{
    return withOpacity(theme.isDark() ? QColor(Qt::white) : QColor(Qt::black), opacity);
}

QColor validGreen(const Highlighting::Theme &theme)
{
    return theme.isDark() ? QColor(48, 209, 88) : QColor(40, 167, 69);
}

QColor invalidRed(const Highlighting::Theme &theme)
{
    return theme.isDark() ? QColor(255, 69, 58) : QColor(215, 40, 40);
}

QFont font(double points, QFont::Weight weight)
{
    QFont result = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    result.setPixelSize(pixelsFor(points));
    result.setWeight(weight);
    return result;
}

QFont monospacedFont(double points, QFont::Weight weight)
{
    QFont result = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    result.setPixelSize(pixelsFor(points));
    result.setWeight(weight);
    return result;
}

void applyPalette(QWidget *widget, const Highlighting::Theme &theme)
{
    widget->setPalette(themedPalette(widget->palette(), theme));
}

QPalette tablePalette(QPalette palette, const Highlighting::Theme &theme)
{
    const QColor fg = foreground(theme);
    const QColor bg = background(theme);
    for (auto group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::Base, bg);
        palette.setColor(group, QPalette::Window, theme.isDark() ? bg.lighter(125) : bg.darker(105));
        palette.setColor(group, QPalette::Text, fg);
        palette.setColor(group, QPalette::WindowText, fg);
        palette.setColor(group, QPalette::Highlight, theme.isDark() ? QColor(60, 110, 200) : QColor(170, 200, 250));
        palette.setColor(group, QPalette::HighlightedText, fg);
    }
    return palette;
}

QPalette themedPalette(QPalette palette, const Highlighting::Theme &theme)
{
    const QColor fg = foreground(theme);
    const QColor bg = background(theme);
    const QColor raised = theme.isDark() ? bg.lighter(130) : bg.darker(104);
    for (auto group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::Window, bg);
        palette.setColor(group, QPalette::WindowText, fg);
        palette.setColor(group, QPalette::Base, raised);
        palette.setColor(group, QPalette::AlternateBase, bg);
        palette.setColor(group, QPalette::Text, fg);
        palette.setColor(group, QPalette::Button, raised);
        palette.setColor(group, QPalette::ButtonText, fg);
        palette.setColor(group, QPalette::ToolTipBase, raised);
        palette.setColor(group, QPalette::ToolTipText, fg);
        palette.setColor(group, QPalette::PlaceholderText, foreground(theme, 0.45));
    }
    palette.setColor(QPalette::Disabled, QPalette::WindowText, foreground(theme, 0.35));
    palette.setColor(QPalette::Disabled, QPalette::Text, foreground(theme, 0.35));
    palette.setColor(QPalette::Disabled, QPalette::ButtonText, foreground(theme, 0.35));
    return palette;
}

namespace {

// `over` at `opacity` painted on `under`, as one opaque colour (style sheets blend poorly).
QColor blended(const QColor &under, const QColor &over, double opacity)
{
    const auto mix = [opacity](int a, int b) { return int(std::lround(a + (b - a) * opacity)); };
    return QColor(mix(under.red(), over.red()), mix(under.green(), over.green()), mix(under.blue(), over.blue()));
}

} // namespace

QString scrollBarStyleSheet(const Highlighting::Theme &theme)
{
    const QColor bg = background(theme);
    const QColor ink = theme.isDark() ? QColor(Qt::white) : QColor(Qt::black);
    const QColor track = blended(bg, ink, 0.04);
    const QColor handle = blended(bg, ink, theme.isDark() ? 0.28 : 0.30);
    const QColor pressed = blended(bg, ink, theme.isDark() ? 0.42 : 0.45);
    return QStringLiteral(
               "QScrollBar { background: %1; border: none; margin: 0; }"
               "QScrollBar:vertical { width: 12px; }"
               "QScrollBar:horizontal { height: 12px; }"
               "QScrollBar::handle { background: %2; border-radius: 4px; margin: 2px; }"
               "QScrollBar::handle:vertical { min-height: 28px; }"
               "QScrollBar::handle:horizontal { min-width: 28px; }"
               "QScrollBar::handle:hover, QScrollBar::handle:pressed { background: %3; }"
               "QScrollBar::add-line, QScrollBar::sub-line { width: 0; height: 0; border: none; }"
               "QScrollBar::add-page, QScrollBar::sub-page { background: none; }")
        .arg(track.name(), handle.name(), pressed.name());
}

QString literalTitle(QString text)
{
    return text.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

} // namespace App::Chrome
