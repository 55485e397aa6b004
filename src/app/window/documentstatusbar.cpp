#include "documentstatusbar.h"

#include "chrome.h"
#include "icons.h"

#include "base/localization.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>

namespace App {

namespace {
constexpr int symbolSize = 12;
constexpr int symbolGap = 4;
// Wider paths are shortened in the middle; the whole path is the tooltip.
constexpr int pathMaxWidth = 360;
} // namespace

StatusItem::StatusItem(QWidget *parent) : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
    setCursor(Qt::PointingHandCursor);
}

void StatusItem::mousePressEvent(QMouseEvent *event)
{
    // Accepted, so the release comes here too.
    event->accept();
}

void StatusItem::mouseReleaseEvent(QMouseEvent *event)
{
    QLabel::mouseReleaseEvent(event);
    if (rect().contains(event->position().toPoint()) && event->button() == Qt::LeftButton)
        emit clicked();
}

void StatusItem::enterEvent(QEnterEvent *event)
{
    QLabel::enterEvent(event);
    QFont hovered = font();
    hovered.setUnderline(true);
    setFont(hovered);
}

void StatusItem::leaveEvent(QEvent *event)
{
    QLabel::leaveEvent(event);
    QFont plain = font();
    plain.setUnderline(false);
    setFont(plain);
}

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
    m_errorsSeparator = makeSeparator();
    m_errors = makeItem();
    m_errors->setObjectName("errorsItem");
    m_encodingSeparator = makeSeparator();
    m_encoding = makeItem();
    m_encoding->setObjectName("encodingItem");
    m_encoding->setToolTip(loc("Reopen or save with another encoding"));
    m_lineEndingSeparator = makeSeparator();
    m_lineEnding = makeItem();
    m_lineEnding->setObjectName("lineEndingItem");
    m_lineEnding->setToolTip(loc("Line endings of the next save"));
    m_indentationSeparator = makeSeparator();
    m_indentation = makeItem();
    m_indentation->setObjectName("indentationItem");
    m_indentation->setToolTip(loc("What Tab types; convert the indentation"));
    m_noteSeparator = makeSeparator();
    m_note = makeLabel();
    m_path = makeLabel();
    m_path->setObjectName("pathLabel");
    m_path->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_caret = makeLabel();
    m_counts = makeLabel();
    for (QWidget *item : {static_cast<QWidget *>(m_kind), static_cast<QWidget *>(m_validationSeparator),
                          static_cast<QWidget *>(m_validation), static_cast<QWidget *>(m_errorsSeparator),
                          static_cast<QWidget *>(m_errors), static_cast<QWidget *>(m_encodingSeparator),
                          static_cast<QWidget *>(m_encoding), static_cast<QWidget *>(m_lineEndingSeparator),
                          static_cast<QWidget *>(m_lineEnding), static_cast<QWidget *>(m_indentationSeparator),
                          static_cast<QWidget *>(m_indentation), static_cast<QWidget *>(m_noteSeparator),
                          static_cast<QWidget *>(m_note)})
        layout->addWidget(item);
    layout->addStretch(1);
    layout->addWidget(m_path);
    layout->addSpacing(12 - layout->spacing());
    layout->addWidget(m_caret);
    layout->addSpacing(12 - layout->spacing());
    layout->addWidget(m_counts);
    connect(m_validation, &QAbstractButton::clicked, this, [this] {
        if (m_validation->status().clickLine)
            emit errorLineClicked(*m_validation->status().clickLine);
    });
    connect(m_errors, &StatusItem::clicked, this, &DocumentStatusBar::errorsClicked);
    connect(m_encoding, &StatusItem::clicked, this, &DocumentStatusBar::encodingClicked);
    connect(m_lineEnding, &StatusItem::clicked, this, &DocumentStatusBar::lineEndingClicked);
    connect(m_indentation, &StatusItem::clicked, this, &DocumentStatusBar::indentationClicked);
    clearDocument();
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

StatusItem *DocumentStatusBar::makeItem()
{
    auto *item = new StatusItem(this);
    item->setFont(Chrome::monospacedFont(11));
    m_labels << item;
    return item;
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

void DocumentStatusBar::setDocument(const QString &kind, const QString &encoding, const QString &lineEnding)
{
    m_kind->setText(kind);
    m_encoding->setText(encoding);
    m_lineEnding->setText(lineEnding);
    showDocumentItems(true);
}

void DocumentStatusBar::setIndentation(const QString &indentation)
{
    m_indentation->setText(indentation);
}

void DocumentStatusBar::clearDocument()
{
    showDocumentItems(false);
    setValidation(std::nullopt);
    setErrorCount(0, MoreErrors::No);
    setJSONPath({});
    setNote({});
}

void DocumentStatusBar::showDocumentItems(bool shown)
{
    for (QWidget *item : {static_cast<QWidget *>(m_kind), static_cast<QWidget *>(m_encodingSeparator),
                          static_cast<QWidget *>(m_encoding), static_cast<QWidget *>(m_lineEndingSeparator),
                          static_cast<QWidget *>(m_lineEnding), static_cast<QWidget *>(m_indentationSeparator),
                          static_cast<QWidget *>(m_indentation)})
        item->setVisible(shown);
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

void DocumentStatusBar::setErrorCount(std::size_t count, MoreErrors moreErrors)
{
    const bool more = moreErrors == MoreErrors::Yes;
    QString text;
    if (count == 1 && !more)
        text = loc("1 error");
    else if (count > 0)
        text = loc(Base::Message{more ? "%d+ errors" : "%d errors", {std::int64_t(count)}});
    m_errors->setText(text);
    m_errors->setToolTip(count > 0 ? loc("Show every error") : QString());
    m_errors->setVisible(count > 0);
    m_errorsSeparator->setVisible(count > 0);
}

void DocumentStatusBar::setJSONPath(const QString &path)
{
    m_fullPath = path;
    const QFontMetrics metrics(m_path->font());
    m_path->setText(metrics.elidedText(path, Qt::ElideMiddle, pathMaxWidth));
    m_path->setToolTip(path);
    m_path->setVisible(!path.isEmpty());
}

void DocumentStatusBar::setNote(const QString &note)
{
    m_note->setText(note);
    m_note->setVisible(!note.isEmpty());
    m_noteSeparator->setVisible(!note.isEmpty());
}

QStringList DocumentStatusBar::texts() const
{
    QStringList shown;
    for (QWidget *item : {static_cast<QWidget *>(m_kind), static_cast<QWidget *>(m_validation),
                          static_cast<QWidget *>(m_errors), static_cast<QWidget *>(m_encoding),
                          static_cast<QWidget *>(m_lineEnding), static_cast<QWidget *>(m_indentation),
                          static_cast<QWidget *>(m_note),
                          static_cast<QWidget *>(m_path), static_cast<QWidget *>(m_caret),
                          static_cast<QWidget *>(m_counts)}) {
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

QMenu *DocumentStatusBar::popUpMenu(QMenu *menu, QWidget *item)
{
    if (m_popup)
        m_popup->close();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    Chrome::applyPalette(menu, m_theme);
    m_popup = menu;
    menu->popup(item->mapToGlobal(QPoint(0, -menu->sizeHint().height() - 2)));
    return menu;
}

QWidget *DocumentStatusBar::popUpList(QWidget *list, QWidget *item)
{
    if (m_popup)
        m_popup->close();
    list->move(item->mapToGlobal(QPoint(0, -list->height() - 4)));
    m_popup = list;
    list->show();
    return list;
}

} // namespace App
