#include "chrome.h"

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

QString literalTitle(QString text)
{
    return text.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

} // namespace App::Chrome
