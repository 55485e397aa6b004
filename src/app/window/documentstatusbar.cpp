#include "documentstatusbar.h"

#include "chrome.h"
#include "icons.h"

#include "base/localization.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>

namespace App {

namespace {
constexpr int symbolSize = 12;
constexpr int symbolGap = 4;
} // namespace

ValidationItem::ValidationItem(QWidget *parent) : QAbstractButton(parent)
{
    setCursor(Qt::ArrowCursor);
    setFocusPolicy(Qt::NoFocus);
}

void ValidationItem::setStatus(const ValidationStatus &status)
{
    m_status = status;
    setText(loc(status.text));
    setToolTip(loc(status.tooltip));
    setCursor(status.clickLine ? Qt::PointingHandCursor : Qt::ArrowCursor);
    updateGeometry();
    update();
}

void ValidationItem::setTheme(const Highlighting::Theme &theme)
{
    m_theme = theme;
    update();
}

QSize ValidationItem::sizeHint() const
{
    const QFontMetrics metrics(Chrome::monospacedFont(11, QFont::Medium));
    return {symbolSize + symbolGap + metrics.horizontalAdvance(text()) + 2, std::max(symbolSize, metrics.height())};
}

void ValidationItem::paintEvent(QPaintEvent *)
{
    if (m_status.symbol == ValidationStatus::Symbol::None)
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const bool valid = m_status.symbol == ValidationStatus::Symbol::Valid;
    const QColor symbolColor = valid ? Chrome::validGreen(m_theme) : Chrome::invalidRed(m_theme);
    const QPixmap symbol = Icons::pixmap(valid ? "checkmark.circle.fill" : "xmark.octagon.fill", symbolColor,
                                         symbolSize, devicePixelRatioF());
    painter.drawPixmap(0, (height() - symbolSize) / 2, symbol);
    painter.setFont(Chrome::monospacedFont(11, QFont::Medium));
    const double opacity = valid ? 0.7 : (isDown() ? 1.0 : 0.85);
    painter.setPen(Chrome::foreground(m_theme, opacity));
    painter.drawText(QRect(symbolSize + symbolGap, 0, width() - symbolSize - symbolGap, height()),
                     Qt::AlignVCenter | Qt::AlignLeft, text());
}

DocumentStatusBar::DocumentStatusBar(QWidget *parent) : QWidget(parent)
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(14, 8, 14, 8);
    layout->setSpacing(6);
    m_kind = makeLabel();
    m_validationSeparator = makeSeparator();
    m_validation = new ValidationItem(this);
    m_encodingSeparator = makeSeparator();
    m_encoding = makeLabel();
    m_lineEndingSeparator = makeSeparator();
    m_lineEnding = makeLabel();
    m_caret = makeLabel();
    m_counts = makeLabel();
    for (QWidget *item : {static_cast<QWidget *>(m_kind), static_cast<QWidget *>(m_validationSeparator),
                          static_cast<QWidget *>(m_validation), static_cast<QWidget *>(m_encodingSeparator),
                          static_cast<QWidget *>(m_encoding), static_cast<QWidget *>(m_lineEndingSeparator),
                          static_cast<QWidget *>(m_lineEnding)})
        layout->addWidget(item);
    layout->addStretch(1);
    layout->addWidget(m_caret);
    layout->addSpacing(12 - layout->spacing());
    layout->addWidget(m_counts);
    connect(m_validation, &QAbstractButton::clicked, this, [this] {
        if (m_validation->status().clickLine)
            emit errorLineClicked(*m_validation->status().clickLine);
    });
    setValidation(std::nullopt);
    setDocument(false, {}, {}, {});
    setCaret(1, 1);
    applyColors();
}

QLabel *DocumentStatusBar::makeLabel()
{
    auto *label = new QLabel(this);
    label->setTextFormat(Qt::PlainText);
    label->setFont(Chrome::monospacedFont(11));
    m_labels << label;
    return label;
}

QLabel *DocumentStatusBar::makeSeparator()
{
    auto *label = new QLabel(QStringLiteral("\u00B7"), this);
    label->setFont(Chrome::monospacedFont(11));
    m_separators << label;
    return label;
}

void DocumentStatusBar::applyColors()
{
    QPalette text = palette();
    text.setColor(QPalette::WindowText, Chrome::foreground(m_theme, 0.55));
    for (auto *label : std::as_const(m_labels))
        label->setPalette(text);
    text.setColor(QPalette::WindowText, Chrome::foreground(m_theme, 0.55 * 0.3));
    for (auto *label : std::as_const(m_separators))
        label->setPalette(text);
    m_validation->setTheme(m_theme);
    update();
}

void DocumentStatusBar::setTheme(const Highlighting::Theme &theme)
{
    m_theme = theme;
    applyColors();
}

void DocumentStatusBar::setDocument(bool hasDocument, const QString &kind, const QString &encoding,
                                    const QString &lineEnding)
{
    m_kind->setText(kind);
    m_encoding->setText(encoding);
    m_lineEnding->setText(lineEnding);
    for (QWidget *item : {static_cast<QWidget *>(m_kind), static_cast<QWidget *>(m_encodingSeparator),
                          static_cast<QWidget *>(m_encoding), static_cast<QWidget *>(m_lineEndingSeparator),
                          static_cast<QWidget *>(m_lineEnding)})
        item->setVisible(hasDocument);
    if (!hasDocument)
        setValidation(std::nullopt);
}

void DocumentStatusBar::setValidation(std::optional<ValidationStatus> status)
{
    const bool shown = status && status->symbol != ValidationStatus::Symbol::None && m_kind->isVisibleTo(this);
    m_validationSeparator->setVisible(shown);
    m_validation->setVisible(shown);
    m_validation->setStatus(status.value_or(ValidationStatus{}));
}

void DocumentStatusBar::setCaret(long long line, long long column)
{
    m_caret->setText(loc(Base::Message{"Ln %d, Col %d", {std::int64_t(line), std::int64_t(column)}}));
}

void DocumentStatusBar::setCounts(const QString &counts, bool shown)
{
    m_counts->setText(counts);
    m_counts->setVisible(shown && !counts.isEmpty());
}

QStringList DocumentStatusBar::texts() const
{
    QStringList shown;
    for (QWidget *item : {static_cast<QWidget *>(m_kind), static_cast<QWidget *>(m_validation),
                          static_cast<QWidget *>(m_encoding), static_cast<QWidget *>(m_lineEnding),
                          static_cast<QWidget *>(m_caret), static_cast<QWidget *>(m_counts)}) {
        if (!item->isVisibleTo(this))
            continue;
        if (auto *label = qobject_cast<QLabel *>(item))
            shown << label->text();
        else
            shown << static_cast<QAbstractButton *>(item)->text();
    }
    return shown;
}

void DocumentStatusBar::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), QColor(255, 255, 255, 5));
    painter.setPen(QPen(Chrome::foreground(m_theme, 0.1), 1));
    painter.drawLine(QPointF(0, 0.5), QPointF(width(), 0.5));
}

} // namespace App
