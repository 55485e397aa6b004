#include "contentfindbar.h"

#include "chrome.h"

#include "base/localization.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QResizeEvent>

namespace App {

ContentFindBar::ContentFindBar(QWidget *parent) : QWidget(parent)
{
    setObjectName("contentFindBar");
    setAutoFillBackground(true);
    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(8, 5, 8, 5);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(4);

    m_find = new QLineEdit(this);
    m_find->setPlaceholderText(loc("Find"));
    m_find->setClearButtonEnabled(true);
    m_count = new QLabel(this);
    m_count->setMinimumWidth(m_count->fontMetrics().horizontalAdvance(QStringLiteral("0000 of 0000")));
    m_buttons = new QWidget(this);
    auto *row = new QHBoxLayout(m_buttons);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(6);
    auto *previous = new QPushButton(loc("Previous"), m_buttons);
    auto *next = new QPushButton(loc("Next"), m_buttons);
    m_case = new QCheckBox(loc("Match Case"), m_buttons);
    auto *done = new QPushButton(loc("Done"), m_buttons);
    previous->setObjectName("findPrevious");
    next->setObjectName("findNext");
    done->setObjectName("findDone");
    for (QPushButton *button : {previous, next, done})
        button->setAutoDefault(false);
    row->addWidget(previous);
    row->addWidget(next);
    row->addWidget(m_case);
    row->addStretch(1);
    row->addWidget(done);
    m_rows.emplace(grid, m_find, m_count, m_buttons);

    connect(m_find, &QLineEdit::textChanged, this, &ContentFindBar::searchChanged);
    connect(m_case, &QCheckBox::toggled, this, &ContentFindBar::searchChanged);
    connect(next, &QPushButton::clicked, this, [this] { findNext(Viewers::SearchDirection::Forward); });
    connect(previous, &QPushButton::clicked, this, [this] { findNext(Viewers::SearchDirection::Backward); });
    connect(done, &QPushButton::clicked, this, &ContentFindBar::closeRequested);
    m_find->installEventFilter(this);
    hide();
}

void ContentFindBar::setTheme(const Highlighting::Theme &theme)
{
    // As the text view's bar: its background slightly offset from the theme's, the field on the
    // background itself.
    const QColor background = Chrome::background(theme);
    const QColor bar = theme.isDark() ? background.lighter(135) : background.darker(106);
    QPalette palette = Chrome::themedPalette(this->palette(), theme);
    for (auto group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::Window, bar);
        palette.setColor(group, QPalette::Base, background);
        palette.setColor(group, QPalette::Button, bar);
    }
    setPalette(palette);
    m_rule = Chrome::foreground(theme, 0.15);
    update();
}

Viewers::TextMatcher ContentFindBar::matcher() const
{
    return Viewers::TextMatcher(m_find->text().toStdU16String(), m_case->isChecked()
                                                                      ? Viewers::CaseSensitivity::Sensitive
                                                                      : Viewers::CaseSensitivity::Insensitive);
}

void ContentFindBar::setTarget(Viewers::Searchable *target)
{
    if (target == m_target)
        return;
    if (m_target)
        m_target->setSearch({});
    m_target = target;
    if (m_target && isOpen())
        m_target->setSearch(matcher());
    refreshCount();
}

void ContentFindBar::open()
{
    show();
    if (m_target && m_target->search() != matcher())
        m_target->setSearch(matcher());
    refreshCount();
    m_find->setFocus(Qt::ShortcutFocusReason);
    m_find->selectAll();
}

void ContentFindBar::close()
{
    hide();
    if (m_target)
        m_target->setSearch({});
}

bool ContentFindBar::findNext(Viewers::SearchDirection direction)
{
    if (!m_target || m_find->text().isEmpty())
        return false;
    if (m_target->search() != matcher())
        m_target->setSearch(matcher());
    const bool found = m_target->findNext(direction);
    refreshCount();
    return found;
}

void ContentFindBar::searchChanged()
{
    if (!m_target || !isOpen())
        return;
    m_target->setSearch(matcher());
    // As the text view searches while you type: the first match from the current one on, so
    // that a longer needle stays where it was while that place still holds it.
    if (m_target->matchCount() > 0)
        m_target->findNext(Viewers::SearchDirection::Forward, Viewers::SearchStart::AtCurrent);
    refreshCount();
}

void ContentFindBar::refreshCount()
{
    if (m_find->text().isEmpty() || !m_target) {
        m_count->clear();
        return;
    }
    const std::size_t count = m_target->matchCount();
    const std::size_t current = m_target->currentMatchNumber();
    if (count == 0)
        m_count->setText(loc("No matches"));
    else if (current)
        m_count->setText(loc(Base::Message{"%lld of %lld", {std::int64_t(current), std::int64_t(count)}}));
    else if (count == 1)
        m_count->setText(loc("1 match"));
    else
        m_count->setText(loc(Base::Message{"%lld matches", {std::int64_t(count)}}));
}

void ContentFindBar::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    m_rows->fit(event->size().width());
}

void ContentFindBar::paintEvent(QPaintEvent *event)
{
    QWidget::paintEvent(event);
    QPainter painter(this);
    painter.setPen(m_rule.isValid() ? m_rule : palette().color(QPalette::Mid));
    painter.drawLine(0, height() - 1, width(), height() - 1);
}

bool ContentFindBar::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_find || event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);
    auto *key = static_cast<QKeyEvent *>(event);
    const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
    if (key->key() == Qt::Key_Escape) {
        emit closeRequested();
        return true;
    }
    // Handled here rather than through returnPressed: a line edit lets Return travel on to its
    // parents once it has emitted the signal.
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
        if (modifiers == Qt::NoModifier || modifiers == Qt::ShiftModifier)
            findNext(modifiers & Qt::ShiftModifier ? Viewers::SearchDirection::Backward : Viewers::SearchDirection::Forward);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void ContentFindBar::keyPressEvent(QKeyEvent *event)
{
    const bool returnKey = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (returnKey) {
        if (auto *button = qobject_cast<QAbstractButton *>(QApplication::focusWidget()); button && isAncestorOf(button))
            button->click();
    } else if (event->key() == Qt::Key_Escape) {
        emit closeRequested();
    }
    event->accept();
}

bool ContentFindBar::focusNextPrevChild(bool next)
{
    QList<QWidget *> controls;
    for (QWidget *widget = nextInFocusChain(); widget != this; widget = widget->nextInFocusChain()) {
        if (isAncestorOf(widget) && widget->isVisibleTo(this) && widget->isEnabled()
            && (widget->focusPolicy() & Qt::TabFocus))
            controls.append(widget);
    }
    if (controls.isEmpty())
        return false;
    const qsizetype current = controls.indexOf(QApplication::focusWidget());
    qsizetype target = 0;
    if (current < 0)
        target = next ? 0 : controls.size() - 1;
    else
        target = (current + (next ? 1 : controls.size() - 1)) % controls.size();
    controls[target]->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
    return true;
}

} // namespace App
