#include "contentarea.h"

#include "chrome.h"
#include "contentfindbar.h"

#include "viewers/csvtableview.h"
#include "viewers/jsontreeview.h"
#include "viewers/markdownview.h"

#include "textview/stextview.h"

#include "base/localization.h"
#include "base/notificationcenter.h"

#include <QApplication>
#include <QEvent>
#include <QPainter>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QSplitter>
#include <QStackedLayout>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>
#include <cmath>

namespace App {

using Documents::DocKind;

BusyIndicator::BusyIndicator(QWidget *parent) : QWidget(parent)
{
    m_tick.setInterval(50);
    connect(&m_tick, &QTimer::timeout, this, [this] {
        m_angle = (m_angle + 30) % 360;
        update();
    });
    m_delay.setSingleShot(true);
    connect(&m_delay, &Base::Timer::timeout, this, [this] {
        if (m_stillBusy && !m_stillBusy())
            return;
        setGeometry(parentWidget()->rect());
        show();
        raise();
    });
}

void BusyIndicator::showAfter(int delayMs, std::function<bool()> stillBusy)
{
    m_stillBusy = std::move(stillBusy);
    m_delay.start(delayMs);
}

void BusyIndicator::dismiss()
{
    m_delay.stop();
    hide();
}

void BusyIndicator::setTheme(const Highlighting::Theme &theme)
{
    m_theme = theme;
    update();
}

void BusyIndicator::setLabel(const QString &label)
{
    m_label = label;
    update();
}

void BusyIndicator::showEvent(QShowEvent *event)
{
    m_tick.start();
    QWidget::showEvent(event);
}

void BusyIndicator::hideEvent(QHideEvent *event)
{
    m_tick.stop();
    QWidget::hideEvent(event);
}

void BusyIndicator::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), Chrome::background(m_theme));
    painter.setRenderHint(QPainter::Antialiasing);
    const QPointF centre(width() / 2.0, height() / 2.0 - (m_label.isEmpty() ? 0 : 12));
    // Twelve spokes, the newest brightest, as desktop spinners draw them.
    for (int i = 0; i < 12; ++i) {
        const double opacity = 0.15 + 0.85 * double((i * 30 + 360 - m_angle) % 360) / 360.0;
        painter.save();
        painter.translate(centre);
        painter.rotate(i * 30.0);
        painter.setPen(QPen(Chrome::foreground(m_theme, 1.0 - opacity * 0.85), 2.5, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(QPointF(0, -6), QPointF(0, -11));
        painter.restore();
    }
    if (!m_label.isEmpty()) {
        painter.setFont(Chrome::font(12));
        painter.setPen(Chrome::foreground(m_theme, 0.6));
        painter.drawText(QRectF(0, centre.y() + 18, width(), 24), Qt::AlignHCenter | Qt::AlignTop, m_label);
    }
}

ContentArea::ContentArea(STTextView *editor, QWidget *parent) : QWidget(parent), m_editor(editor)
{
    m_pages = new QStackedLayout(this);
    m_pages->setContentsMargins(0, 0, 0, 0);

    m_editorPage = new QWidget(this);
    auto *editorLayout = new QVBoxLayout(m_editorPage);
    editorLayout->setContentsMargins(0, 0, 0, 0);
    m_splitter = new QSplitter(Qt::Horizontal, m_editorPage);
    m_splitter->setChildrenCollapsible(false);
    m_splitter->setHandleWidth(1);
    editor->setParent(m_splitter);
    editor->setMinimumWidth(minimumPaneWidth);
    m_splitter->addWidget(editor);
    editorLayout->addWidget(m_splitter);
    m_pages->addWidget(m_editorPage);

    m_alternatePage = new QWidget(this);
    m_alternateColumn = new QVBoxLayout(m_alternatePage);
    m_alternateColumn->setContentsMargins(0, 0, 0, 0);
    m_alternateColumn->setSpacing(0);
    m_alternates = new QStackedLayout;
    m_alternates->setContentsMargins(0, 0, 0, 0);
    m_alternateColumn->addLayout(m_alternates, 1);
    m_table = new Viewers::CSVTableView(m_alternatePage);
    m_tree = new Viewers::JSONTreeView(m_alternatePage);
    m_busy = new BusyIndicator(m_alternatePage);
    // The preview moves between this page and the splitter with its own place for the find bar.
    m_previewPane = new QWidget(m_alternatePage);
    m_previewPane->setMinimumWidth(minimumPaneWidth);
    m_previewColumn = new QVBoxLayout(m_previewPane);
    m_previewColumn->setContentsMargins(0, 0, 0, 0);
    m_previewColumn->setSpacing(0);
    m_markdown = new Viewers::MarkdownView(m_previewPane);
    m_markdown->setMinimumWidth(minimumPaneWidth);
    m_previewColumn->addWidget(m_markdown, 1);
    for (QWidget *view : {static_cast<QWidget *>(m_table), static_cast<QWidget *>(m_tree),
                          static_cast<QWidget *>(m_busy), m_previewPane})
        m_alternates->addWidget(view);
    m_findBar = new ContentFindBar(m_alternatePage);
    m_alternateColumn->insertWidget(0, m_findBar);
    m_findBar->hide();
    m_pages->addWidget(m_alternatePage);
    m_pages->setCurrentWidget(m_editorPage);

    connect(m_editor->verticalScrollBar(), &QScrollBar::valueChanged, this, [this] { editorScrolled(); });
    connect(m_markdown, &Viewers::MarkdownView::topBlockChanged, this, &ContentArea::previewScrolled);
    // A new preview width re-wraps its blocks: the block stays, but not the place inside it.
    m_markdown->installEventFilter(this);
    observeFind();
}

ContentArea::~ContentArea()
{
    NotificationCenter::defaultCenter().removeObserver(m_findObserver);
}

bool ContentArea::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_markdown && event->type() == QEvent::Resize && m_split)
        queueFollowEditor();
    return QWidget::eventFilter(watched, event);
}

ContentArea::EditorTop ContentArea::editorTop() const
{
    const auto visible = m_editor->visibleLines();
    if (!visible.empty() && m_editor->rowHeight() > 0)
        return {visible.front().line, std::uint32_t(std::max(0, -visible.front().y) / m_editor->rowHeight())};
    // A viewport of no height shows no line; its scroll value still names the top row.
    const auto position = m_editor->wrapRows().lineAtRow(std::size_t(
        std::max(0, m_editor->verticalScrollBar()->value())));
    return {position.line, position.rowInLine};
}

void ContentArea::editorScrolled()
{
    if (m_syncing || !m_split)
        return;
    const EditorTop top = editorTop();
    if (m_editorTop == top)
        return;
    followEditor();
}

void ContentArea::followEditor()
{
    const EditorTop top = editorTop();
    m_editorTop = top;
    const auto &rowsOf = m_editor->wrapRows();
    const std::size_t lineCount = m_editor->textContentManager().lines().lineCount();
    const double rows = double(std::max<std::uint32_t>(1, rowsOf.rows(std::min(top.line, lineCount - 1))));
    const auto position = Viewers::blockForSourceLine(m_markdown->blocks(), double(top.line) + double(top.rowInLine) / rows);
    if (!position)
        return;
    QScopedValueRollback guard(m_syncing, true);
    m_markdown->scrollToBlock(position->block, position->fraction);
}

void ContentArea::queueFollowEditor()
{
    if (m_followQueued)
        return;
    m_followQueued = true;
    QTimer::singleShot(0, this, [this] {
        m_followQueued = false;
        if (m_split && !m_syncing)
            followEditor();
    });
}

void ContentArea::previewScrolled(std::size_t block, double fraction)
{
    if (m_syncing || !m_split || m_markdown->blocks().empty())
        return;
    const double source = Viewers::sourceLineForBlock(m_markdown->blocks(), {block, fraction});
    // The blocks may lag behind the text by one parse: clamp to the lines the editor has.
    const auto &lines = m_editor->wrapRows();
    const std::size_t last = m_editor->textContentManager().lines().lineCount() - 1;
    const double whole = std::floor(source);
    const std::size_t line = std::min(std::size_t(whole), last);
    const double within = double(line) == whole ? source - whole : 1.0;
    const std::uint32_t rows = std::max<std::uint32_t>(1, lines.rows(line));
    const std::size_t rowInLine = std::min<std::size_t>(rows - 1, std::size_t(within * rows));
    const std::size_t row = lines.rowOfLine(line) + rowInLine;
    QScopedValueRollback guard(m_syncing, true);
    m_editor->verticalScrollBar()->setValue(int(std::min<std::size_t>(row, INT_MAX)));
    m_editorTop = editorTop();
}

void ContentArea::setTheme(const Highlighting::Theme &theme)
{
    m_theme = theme;
    m_markdown->setTheme(theme);
    m_tree->setTheme(theme);
    m_busy->setTheme(theme);
    m_findBar->setTheme(theme);
    m_table->setPalette(Chrome::tablePalette(m_table->palette(), theme));
    m_splitter->setStyleSheet(QStringLiteral("QSplitter::handle { background: %1; }")
                                  .arg(Chrome::foreground(theme, 0.12).name(QColor::HexArgb)));
}

void ContentArea::setTextFont(const QFont &font)
{
    m_markdown->setFontSize(font.pointSizeF());
    m_tree->setMonospacedFont(font);
    m_table->setMonospacedFont(font);
    if (m_split)
        followEditor();
}

QWidget *ContentArea::visibleView() const
{
    if (m_pages->currentWidget() == m_editorPage)
        return m_editorPage;
    QWidget *view = m_alternates->currentWidget();
    return view == m_previewPane ? m_markdown : view;
}

void ContentArea::arrange(std::optional<DocKind> kind, ViewMode mode)
{
    m_kind = kind;
    m_mode = mode;
    const bool split = kind == DocKind::Markdown && mode == ViewMode::Split;
    if (split && m_previewPane->parentWidget() != m_splitter) {
        m_alternates->removeWidget(m_previewPane);
        m_splitter->addWidget(m_previewPane);
        m_splitter->setSizes({1, 1});
        m_previewPane->show();
    } else if (!split && m_previewPane->parentWidget() == m_splitter) {
        m_previewPane->setParent(m_alternatePage);
        m_alternates->addWidget(m_previewPane);
    }
    m_split = split;
    m_editorTop.reset();
    updateAlternate();
    if (split) {
        // Now for what is known, and again once the splitter has given the preview its width.
        followEditor();
        queueFollowEditor();
    }
}

void ContentArea::updateAlternate()
{
    if (!isAlternateFullView(m_kind, m_mode)) {
        m_pages->setCurrentWidget(m_editorPage);
        closeFindBarIfStale();
        return;
    }
    QWidget *view = m_busy;
    if (*m_kind == DocKind::Markdown)
        view = m_previewPane;
    else if (*m_kind == DocKind::Csv && m_hasTable)
        view = m_table;
    else if (*m_kind == DocKind::Json && m_hasTree)
        view = m_tree;
    m_busy->setLabel(*m_kind == DocKind::Csv ? loc("Building the table…") : loc("Building the tree…"));
    showAlternate(view);
    closeFindBarIfStale();
}

void ContentArea::showAlternate(QWidget *view)
{
    m_alternates->setCurrentWidget(view);
    m_pages->setCurrentWidget(m_alternatePage);
}

void ContentArea::setTable(std::optional<Viewers::CSVTable> table)
{
    m_hasTable = table.has_value();
    if (table)
        m_table->setTable(std::move(*table));
    else
        m_table->setTable(Viewers::CSVTable());
    updateAlternate();
}

void ContentArea::setBlocks(Viewers::MDBlockList blocks)
{
    m_markdown->setBlocks(std::move(blocks));
    // The preview keeps its top block's index, which a re-parse after typing may have moved:
    // the editor's line says where the preview belongs.
    if (m_split)
        followEditor();
}

void ContentArea::setTree(std::optional<Viewers::JSONTreeResult> tree)
{
    m_hasTree = tree.has_value();
    m_tree->setResult(std::move(tree));
    updateAlternate();
}

// ---- Find -------------------------------------------------------------------------------------

void ContentArea::observeFind()
{
    m_findObserver = NotificationCenter::defaultCenter().addObserver(
        Notifications::findAction, this, [this](const QVariant &object) {
            bool isInteger = false;
            const std::optional<TextView::FindAction> action = TextView::findActionFromCode(object.toInt(&isInteger));
            // The key window acts, or a window not shown yet (as a test drives it).
            if (!isInteger || !action || (window()->isVisible() && QApplication::activeWindow() != window()))
                return;
            performFindAction(*action);
        });
    connect(m_findBar, &ContentFindBar::closeRequested, this, [this] {
        m_findBar->close();
        if (QWidget *view = findBarTargetWidget())
            view->setFocus(Qt::OtherFocusReason);
    });
    connect(m_table, &Viewers::CSVTableView::searchChanged, this, [this] {
        if (m_findBar->target() == m_table)
            m_findBar->refreshCount();
    });
    connect(m_tree, &Viewers::JSONTreeView::searchChanged, this, [this] {
        if (m_findBar->target() == m_tree)
            m_findBar->refreshCount();
    });
    connect(m_markdown, &Viewers::MarkdownView::searchChanged, this, [this] {
        if (m_findBar->target() == m_markdown)
            m_findBar->refreshCount();
    });
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget *old, QWidget *now) {
        const bool fromPreview = old && m_previewPane->isAncestorOf(old);
        const bool intoTextFindBar = now && now != m_editor->viewport() && m_editor->isAncestorOf(now);
        m_previewFocusJustLeft = m_split && fromPreview && intoTextFindBar;
        if (m_previewFocusJustLeft)
            QTimer::singleShot(0, this, [this] { m_previewFocusJustLeft = false; });
    });
}

QWidget *ContentArea::findBarTargetWidget() const
{
    if (m_findBar->target() == m_table)
        return m_table;
    if (m_findBar->target() == m_tree)
        return m_tree;
    if (m_findBar->target() == m_markdown)
        return m_markdown;
    return nullptr;
}

bool ContentArea::previewHasFocus() const
{
    const QWidget *focus = QApplication::focusWidget();
    return (focus && m_previewPane->isAncestorOf(focus)) || m_previewFocusJustLeft;
}

namespace {

// The view of `area` that can be searched and is in sight, whatever has the focus.
Viewers::Searchable *searchableInSight(const ContentArea &area, bool split, QWidget *shown)
{
    if (split)
        return area.markdownView();
    if (shown == area.tableView())
        return area.tableView();
    if (shown == area.treeView()) {
        const auto &result = area.treeView()->result();
        return result && result->isOk() ? area.treeView() : nullptr;
    }
    if (shown == area.markdownView())
        return area.markdownView();
    return nullptr;
}

} // namespace

Viewers::Searchable *ContentArea::findTarget() const
{
    Viewers::Searchable *inSight = searchableInSight(*this, m_split, visibleView());
    if (m_split && !previewHasFocus())
        return nullptr;
    return inSight;
}

void ContentArea::attachFindBar(Viewers::Searchable *target)
{
    QVBoxLayout *host = target == m_markdown ? m_previewColumn : m_alternateColumn;
    if (m_findBar->parentWidget() != host->parentWidget()) {
        if (QLayout *layout = m_findBar->parentWidget()->layout())
            layout->removeWidget(m_findBar);
        host->insertWidget(0, m_findBar);
    }
    m_findBar->setTarget(target);
}

void ContentArea::closeFindBarIfStale()
{
    Viewers::Searchable *target = m_findBar->target();
    if (!target || target == searchableInSight(*this, m_split, visibleView()))
        return;
    m_findBar->close();
    m_findBar->setTarget(nullptr);
}

void ContentArea::performFindAction(TextView::FindAction action)
{
    const bool show = action == TextView::FindAction::ShowFindInterface || action == TextView::FindAction::ShowReplaceInterface;
    Viewers::Searchable *target = findTarget();
    if (!target) {
        if (m_split && m_findBar->isOpen() && (show || action == TextView::FindAction::HideFindInterface)) {
            // The source's find has it: one find bar at a time.
            m_findBar->close();
        } else if (show && m_pages->currentWidget() == m_alternatePage) {
            // Nothing in sight can be searched, but the text can.
            emit textFindRequested();
            if (m_pages->currentWidget() == m_editorPage)
                m_editor->textFinder()->performAction(action);
        }
        return;
    }
    switch (action) {
    case TextView::FindAction::ShowFindInterface:
    case TextView::FindAction::ShowReplaceInterface:
        if (m_split && m_editor->isFindBarVisible())
            m_editor->textFinder()->performAction(TextView::FindAction::HideFindInterface);
        attachFindBar(target);
        m_findBar->open();
        break;
    case TextView::FindAction::NextMatch:
    case TextView::FindAction::PreviousMatch:
        attachFindBar(target);
        m_findBar->findNext(action == TextView::FindAction::NextMatch ? Viewers::SearchDirection::Forward
                                                              : Viewers::SearchDirection::Backward);
        break;
    case TextView::FindAction::HideFindInterface: {
        const bool wasOpen = m_findBar->isOpen();
        m_findBar->close();
        if (QWidget *view = findBarTargetWidget(); wasOpen && view)
            view->setFocus(Qt::OtherFocusReason);
        break;
    }
    default:
        break;
    }
}

} // namespace App
