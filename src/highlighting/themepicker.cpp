#include "highlighting/themepicker.h"

#include "highlighting/qtcolor.h"
#include "highlighting/theme.h"

#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

namespace Highlighting {

namespace {

// Sizes in device-independent pixels.
constexpr int columnWidth = 110;
constexpr int columnSpacing = 8;
constexpr int rowSpacing = 8;
constexpr int columns = 3;
constexpr int maximumScrollHeight = 360;
constexpr int swatchPadding = 4;
constexpr int previewHeight = 56;
constexpr int nameTopPadding = 4;
constexpr qreal previewRadius = 6;
constexpr qreal frameRadius = 8;
constexpr qreal frameWidth = 2;

QFont sizedFont(const QFont &base, int pixelSize, QFont::Weight weight)
{
    QFont font = base;
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    return font;
}

// The platform's secondary label colour: the text colour, faded.
QColor secondaryColor(const QPalette &palette)
{
    QColor color = palette.color(QPalette::WindowText);
    color.setAlphaF(0.55f);
    return color;
}

QString qs(std::string_view text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

} // namespace

// ---- ThemeSwatch -----------------------------------------------------------------------------

ThemeSwatch::ThemeSwatch(const Theme &theme, QWidget *parent) : QAbstractButton(parent), m_theme(&theme)
{
    setCheckable(true);
    setFocusPolicy(Qt::TabFocus);
    setText(qs(theme.name()));
    setAccessibleName(qs(theme.name()));
    setToolTip(qs(theme.name()));
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize ThemeSwatch::sizeHint() const
{
    const QFontMetrics nameMetrics(sizedFont(font(), 11, QFont::DemiBold));
    return {columnWidth,
            swatchPadding + previewHeight + nameTopPadding + nameMetrics.height() + swatchPadding};
}

void ThemeSwatch::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const bool selected = isChecked();

    // Preview block in the theme's own colours.
    const QRectF preview(swatchPadding, swatchPadding, width() - 2 * swatchPadding, previewHeight);
    QPainterPath previewShape;
    previewShape.addRoundedRect(preview, previewRadius, previewRadius);
    painter.fillPath(previewShape, toQColor(m_theme->background()));

    const QFont sampleFont = sizedFont(font(), 16, QFont::DemiBold);
    const QFont braceFont = sizedFont(font(), 10, QFont::Normal);
    const QString sample = QStringLiteral("Aa");
    const QString braces = QStringLiteral("{ }");
    const qreal gap = 6;
    const qreal sampleWidth = QFontMetricsF(sampleFont).horizontalAdvance(sample);
    const qreal braceWidth = QFontMetricsF(braceFont).horizontalAdvance(braces);
    const qreal left = preview.center().x() - (sampleWidth + gap + braceWidth) / 2;
    const QColor foreground = toQColor(m_theme->foreground());
    painter.setFont(sampleFont);
    painter.setPen(foreground);
    painter.drawText(QRectF(left, preview.top(), sampleWidth, preview.height()), Qt::AlignVCenter | Qt::AlignLeft,
                     sample);
    QColor faded = foreground;
    faded.setAlphaF(0.6f);
    painter.setFont(braceFont);
    painter.setPen(faded);
    painter.drawText(QRectF(left + sampleWidth + gap, preview.top(), braceWidth + 1, preview.height()),
                     Qt::AlignVCenter | Qt::AlignLeft, braces);

    // Name: semibold in the primary colour when selected, regular and secondary otherwise.
    const QFont nameFont = sizedFont(font(), 11, selected ? QFont::DemiBold : QFont::Normal);
    painter.setFont(nameFont);
    painter.setPen(selected ? palette().color(QPalette::WindowText) : secondaryColor(palette()));
    const QRectF nameRect(swatchPadding, preview.bottom() + nameTopPadding, preview.width(),
                          QFontMetricsF(nameFont).height());
    painter.drawText(nameRect, Qt::AlignHCenter | Qt::AlignTop,
                     QFontMetrics(nameFont).elidedText(text(), Qt::ElideRight, int(nameRect.width())));

    // Frame drawn inside the bounds: accent when selected, a fainter accent for keyboard focus.
    QColor frame = Qt::transparent;
    if (selected)
        frame = palette().color(QPalette::Highlight);
    else if (hasFocus()) {
        frame = palette().color(QPalette::Highlight);
        frame.setAlphaF(0.45f);
    }
    if (frame.alpha() > 0) {
        QPen pen(frame, frameWidth);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        const qreal inset = frameWidth / 2;
        painter.drawRoundedRect(QRectF(rect()).adjusted(inset, inset, -inset, -inset), frameRadius - inset,
                                frameRadius - inset);
    }
}

// ---- ThemePicker -----------------------------------------------------------------------------

ThemePicker::ThemePicker(QWidget *parent) : QWidget(parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->setSpacing(6);

    auto *heading = new QLabel(tr("Theme").toUpper(), this);
    heading->setObjectName(QStringLiteral("themePickerHeading"));
    heading->setFont(sizedFont(font(), 11, QFont::DemiBold));
    QPalette headingPalette = heading->palette();
    headingPalette.setColor(QPalette::WindowText, secondaryColor(palette()));
    heading->setPalette(headingPalette);
    heading->setContentsMargins(4, 0, 4, 0);
    layout->addWidget(heading);

    auto *grid = new QWidget;
    auto *gridLayout = new QGridLayout(grid);
    // A little room so a framed swatch in the first or last row is not flush with the edge.
    gridLayout->setContentsMargins(0, 2, 0, 2);
    gridLayout->setHorizontalSpacing(columnSpacing);
    gridLayout->setVerticalSpacing(rowSpacing);
    gridLayout->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    int index = 0;
    for (const Theme &theme : Theme::all()) {
        auto *swatch = new ThemeSwatch(theme, grid);
        connect(swatch, &QAbstractButton::clicked, this, [this, swatch] {
            // A click on the selected swatch keeps it selected (no toggling off).
            swatch->setChecked(true);
            setSelected(qs(swatch->theme().id()));
        });
        gridLayout->addWidget(swatch, index / columns, index % columns);
        m_swatches.push_back(swatch);
        ++index;
    }
    for (int column = 0; column < columns; ++column)
        gridLayout->setColumnMinimumWidth(column, columnWidth);

    auto *scroll = m_scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("themePickerScroll"));
    scroll->setWidget(grid);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scroll->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    const int gridWidth = columns * columnWidth + (columns - 1) * columnSpacing;
    const int scrollBarWidth = scroll->verticalScrollBar()->sizeHint().width();
    scroll->setMinimumWidth(gridWidth + scrollBarWidth);
    scroll->setMaximumHeight(maximumScrollHeight);
    scroll->setMinimumHeight(std::min(maximumScrollHeight, grid->sizeHint().height()));
    layout->addWidget(scroll);

    updateSwatches();
}

void ThemePicker::setSelected(const QString &themeId)
{
    if (themeId == m_selected)
        return;
    m_selected = themeId;
    updateSwatches();
    emit selectedChanged(m_selected);
}

void ThemePicker::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // The chooser opens scrolled to the current theme, wherever it is in the list.
    revealSelected();
}

void ThemePicker::revealSelected()
{
    for (ThemeSwatch *swatch : m_swatches)
        if (swatch->isChecked())
            m_scroll->ensureWidgetVisible(swatch, 0, rowSpacing);
}

void ThemePicker::updateSwatches()
{
    for (ThemeSwatch *swatch : m_swatches)
        swatch->setChecked(qs(swatch->theme().id()) == m_selected);
}

} // namespace Highlighting
