#pragma once

#include "app/model/viewmode.h"

#include "viewers/csvparser.h"
#include "viewers/jsontree.h"
#include "viewers/mdblock.h"

#include "documents/dockind.h"

#include "highlighting/theme.h"

#include "textview/findaction.h"

#include "base/timer.h"

#include <QTimer>
#include <QWidget>

#include <functional>
#include <optional>

class QSplitter;
class QStackedLayout;
class QVBoxLayout;
class STTextView;

namespace Viewers {
class CSVTableView;
class JSONTreeView;
class MarkdownView;
class Searchable;
} // namespace Viewers

namespace App {

class ContentFindBar;

// A turning arc, shown while a table or tree is being built.
class BusyIndicator : public QWidget {
    Q_OBJECT

public:
    explicit BusyIndicator(QWidget *parent = nullptr);
    void setTheme(const Highlighting::Theme &theme);
    void setLabel(const QString &label);
    QString label() const { return m_label; }
    // Covers its parent once `delayMs` have passed and `stillBusy` says so, so that fast work
    // never flickers it; dismiss() takes it away, shown or not yet.
    void showAfter(int delayMs, std::function<bool()> stillBusy);
    void dismiss();

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    QTimer m_tick;
    Base::Timer m_delay;
    std::function<bool()> m_stillBusy;
    int m_angle = 0;
    QString m_label;
    Highlighting::Theme m_theme = Highlighting::Theme::defaultTheme();
};

// The area under the toolbar: the editor, which always exists, and per kind and mode a full
// alternate view over it (Markdown preview, CSV table, JSON tree, or a busy indicator while the
// table or tree is not ready), or the editor and the preview side by side (Markdown split).
//
// In split mode the two panes scroll together: scrolling either one brings the other to the
// same block, in proportion within the block, through the blocks' source lines. A pane that
// follows is never echoed back, and new blocks, font sizes and preview widths re-place the
// preview from the editor. Outside split mode nothing follows.
//
// Find reaches whichever view is in sight. The area observes the findAction notification for
// its own window (when it is the active window, or not yet shown): over the table, the tree or
// the preview (in split mode, when the preview has the focus) it opens its own find bar above
// that view and walks its matches; the editor's find stays the text view's own. Where nothing
// can be searched (a table or tree still being built, a tree of invalid JSON) it asks for the
// text instead (textFindRequested) and opens the text view's find once the text is shown. In
// split mode one find bar is open at a time: the preview's closes the source's and the other
// way round.
class ContentArea : public QWidget {
    Q_OBJECT

public:
    ContentArea(STTextView *editor, QWidget *parent = nullptr);
    ~ContentArea() override;

    void setTheme(const Highlighting::Theme &theme);
    // The editor's font: its size for the preview's body text, font and size for the table and tree.
    void setTextFont(const QFont &font);
    // Shows what `mode` asks for a document of `kind`.
    void arrange(std::optional<Documents::DocKind> kind, ViewMode mode);

    // Results of the window's jobs; none (or empty) until ready.
    void setTable(std::optional<Viewers::CSVTable> table);
    void setBlocks(Viewers::MDBlockList blocks);
    void setTree(std::optional<Viewers::JSONTreeResult> tree);

    STTextView *editor() const { return m_editor; }
    Viewers::CSVTableView *tableView() const { return m_table; }
    Viewers::MarkdownView *markdownView() const { return m_markdown; }
    Viewers::JSONTreeView *treeView() const { return m_tree; }
    BusyIndicator *busyIndicator() const { return m_busy; }
    QSplitter *splitter() const { return m_splitter; }
    // The widget the user sees in full (the editor page, or the alternate view or indicator).
    QWidget *visibleView() const;

    static constexpr int minimumPaneWidth = 200;

    // Whether the editor and the preview are shown side by side and scroll together.
    bool isSplit() const { return m_split; }

    ContentFindBar *findBar() const { return m_findBar; }
    // The view Find searches now: the table, the tree (with a valid result) or the preview when
    // it is in sight, in split mode only when the preview has the focus; none otherwise.
    Viewers::Searchable *findTarget() const;
    // Carries out a find command for the view in sight (showing find with replace shows find:
    // these views are read-only).
    void performFindAction(TextView::FindAction action);

signals:
    // Find was asked for while no view in sight can search: the window should show the text.
    // When it has (synchronously), the area opens the text view's find.
    void textFindRequested();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void showAlternate(QWidget *view);
    void updateAlternate();
    void observeFind();
    // Puts the find bar above `target`'s view and makes it the bar's target.
    void attachFindBar(Viewers::Searchable *target);
    // Closes the find bar when the view it searches left the area's sight.
    void closeFindBarIfStale();
    QWidget *findBarTargetWidget() const;
    bool previewHasFocus() const;

    // The editor's top: its first visible line and how many of that line's rows are above.
    struct EditorTop {
        std::size_t line = 0;
        std::uint32_t rowInLine = 0;
        friend bool operator==(const EditorTop &, const EditorTop &) = default;
    };
    EditorTop editorTop() const;
    void editorScrolled();
    void previewScrolled(std::size_t block, double fraction);
    // Puts the preview where the editor is; `EditorTop` is remembered so that the editor's own
    // re-measuring (same top, new scroll value) does not move the preview again.
    void followEditor();
    void queueFollowEditor();

    STTextView *m_editor;
    QSplitter *m_splitter = nullptr;
    QStackedLayout *m_pages = nullptr;
    QWidget *m_editorPage = nullptr;
    QWidget *m_alternatePage = nullptr;
    QStackedLayout *m_alternates = nullptr;
    QVBoxLayout *m_alternateColumn = nullptr; // The find bar over the table or tree, then the views.
    QWidget *m_previewPane = nullptr;         // The find bar over the preview, then the preview.
    QVBoxLayout *m_previewColumn = nullptr;
    ContentFindBar *m_findBar = nullptr;
    // Set while a focus that left the preview for the text view's find bar still counts as the
    // preview's: the editor observes find commands first and may move the focus before the area
    // sees the same command. Cleared at the next turn of the event loop.
    bool m_previewFocusJustLeft = false;
    quint64 m_findObserver = 0;
    Viewers::CSVTableView *m_table = nullptr;
    Viewers::MarkdownView *m_markdown = nullptr;
    Viewers::JSONTreeView *m_tree = nullptr;
    BusyIndicator *m_busy = nullptr;
    std::optional<Documents::DocKind> m_kind;
    ViewMode m_mode = ViewMode::Text;
    bool m_split = false;
    // Set while one pane follows the other, so that the follower's scroll is not sent back.
    bool m_syncing = false;
    bool m_followQueued = false;
    std::optional<EditorTop> m_editorTop;
    bool m_hasTable = false;
    bool m_hasTree = false;
    Highlighting::Theme m_theme = Highlighting::Theme::defaultTheme();
};

} // namespace App
