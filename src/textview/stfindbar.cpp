#include "stfindbar_p.h"

#include "stextview.h"

#include "textview/textdocument.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QResizeEvent>

STFindBar::STFindBar(STTextView *view)
    : QWidget(view), m_view(view)
{
    setAutoFillBackground(true);
    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(8, 5, 8, 5);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(4);

    m_find = new QLineEdit(this);
    m_find->setPlaceholderText(tr("Find"));
    m_find->setClearButtonEnabled(true);
    m_count = new QLabel(this);
    m_count->setMinimumWidth(m_count->fontMetrics().horizontalAdvance(QStringLiteral("0000 of 0000")));
    m_buttons = new QWidget(this);
    auto *buttons = new QHBoxLayout(m_buttons);
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->setSpacing(6);
    auto *previous = new QPushButton(tr("Previous"), m_buttons);
    auto *next = new QPushButton(tr("Next"), m_buttons);
    m_case = new QCheckBox(tr("Match Case"), m_buttons);
    auto *done = new QPushButton(tr("Done"), m_buttons);
    for (QPushButton *button : {previous, next, done})
        button->setAutoDefault(false);
    buttons->addWidget(previous);
    buttons->addWidget(next);
    buttons->addWidget(m_case);
    buttons->addStretch(1);
    buttons->addWidget(done);

    m_replaceRow = new QWidget(this);
    auto *row = new QHBoxLayout(m_replaceRow);
    row->setContentsMargins(0, 0, 0, 0);
    m_replace = new QLineEdit(m_replaceRow);
    m_replace->setPlaceholderText(tr("Replace"));
    auto *replace = new QPushButton(tr("Replace"), m_replaceRow);
    auto *all = new QPushButton(tr("All"), m_replaceRow);
    replace->setAutoDefault(false);
    all->setAutoDefault(false);
    row->addWidget(m_replace, 1);
    row->addWidget(replace);
    row->addWidget(all);
    m_rows.emplace(grid, m_find, m_count, m_buttons, m_replaceRow);

    connect(m_find, &QLineEdit::textEdited, this, &STFindBar::searchChanged);
    connect(m_case, &QCheckBox::toggled, this, &STFindBar::searchChanged);
    connect(next, &QPushButton::clicked, this, [this] { m_view->findNext(true); });
    connect(previous, &QPushButton::clicked, this, [this] { m_view->findNext(false); });
    connect(done, &QPushButton::clicked, this,
            [this] { m_view->textFinder()->performAction(TextView::FindAction::HideFindInterface); });
    connect(replace, &QPushButton::clicked, this, [this] { m_view->replaceCurrent(m_replace->text()); });
    connect(all, &QPushButton::clicked, this, [this] { m_view->replaceAll(m_replace->text()); });
    m_find->installEventFilter(this);
    m_replace->installEventFilter(this);
    hide();
}

void STFindBar::showFind(bool replace)
{
    m_replaceRow->setVisible(replace);
    show();
    refreshCount();
}

bool STFindBar::isReplaceShown() const
{
    return m_replaceRow->isVisible();
}

void STFindBar::searchChanged()
{
    if (!m_view->isIncrementalSearchingEnabled())
        return;
    const auto before = m_view->textSelection();
    TextView::TextDocument &document = m_view->document();
    document.setSearch(m_find->text().toStdU16String(), m_case->isChecked() ? TextView::CaseSensitivity::Sensitive
                                                                             : TextView::CaseSensitivity::Insensitive);
    // Incremental search moves to the first match at or after the selection start.
    if (!document.matches().empty()) {
        m_view->setTextSelection({before.location, 0});
        m_view->findNext(true);
    }
    refreshCount();
}

void STFindBar::refreshCount()
{
    if (m_find->text().isEmpty()) {
        m_count->clear();
        return;
    }
    const TextView::TextDocument &document = m_view->document();
    const std::size_t count = document.matches().size();
    const std::size_t current = document.matchIndex(m_view->textSelection());
    if (count == 0)
        m_count->setText(tr("No matches"));
    else if (current)
        m_count->setText(tr("%1 of %2").arg(current).arg(count));
    else
        m_count->setText(count == 1 ? tr("1 match") : tr("%1 matches").arg(count));
}

void STFindBar::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    // The view hears of a new height through its layout request.
    m_rows->fit(event->size().width());
}

void STFindBar::paintEvent(QPaintEvent *event)
{
    QWidget::paintEvent(event);
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawLine(0, height() - 1, width(), height() - 1);
}

bool STFindBar::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);
    auto *key = static_cast<QKeyEvent *>(event);
    const bool returnKey = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
    const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
    if (key->key() == Qt::Key_Escape) {
        m_view->textFinder()->performAction(TextView::FindAction::HideFindInterface);
        return true;
    }
    // Handled here rather than through returnPressed: a line edit lets Return travel on to its
    // parents once it has emitted the signal, and the view behind the bar would insert a line break.
    if (returnKey && watched == m_find) {
        if (modifiers == Qt::NoModifier || modifiers == Qt::ShiftModifier)
            m_view->findNext(!(modifiers & Qt::ShiftModifier));
        return true;
    }
    if (returnKey && watched == m_replace) {
        if (modifiers == Qt::NoModifier)
            m_view->replaceCurrent(m_replace->text());
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void STFindBar::keyPressEvent(QKeyEvent *event)
{
    const bool returnKey = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (returnKey) {
        if (auto *button = qobject_cast<QAbstractButton *>(QApplication::focusWidget()); button && isAncestorOf(button))
            button->click();
    } else if (event->key() == Qt::Key_Escape) {
        m_view->textFinder()->performAction(TextView::FindAction::HideFindInterface);
    }
    event->accept();
}

bool STFindBar::focusNextPrevChild(bool next)
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
