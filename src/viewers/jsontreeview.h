#pragma once

#include "viewers/jsontree.h"
#include "viewers/searchable.h"

#include "highlighting/theme.h"

#include <QAbstractScrollArea>
#include <QFont>

#include <optional>
#include <unordered_map>
#include <vector>

namespace Viewers {

// The JSON tree: one line per visible node, indented by depth, with a disclosure chevron for
// nodes with children, the key, ":" and the summary coloured by kind, on the theme's
// background. Rows have one height, so only those on screen are ever built. Without a result
// the view is an empty area; an invalid result shows "Invalid JSON: %@". The expansion
// survives newer results of the same document and starts afresh after an invalid result or
// when the view is hidden. Click a chevron, double-click a row or use Left/Right/Return to
// expand and collapse; a clicked row is selected and Copy copies its summary. Find looks
// through every node, collapsed or not (see findNodes): a match is a row, the current one is
// the selected row, reached by expanding what holds it; occurrences on screen are marked.
class JSONTreeView : public QAbstractScrollArea, public Searchable {
    Q_OBJECT

public:
    explicit JSONTreeView(QWidget *parent = nullptr);

    void setTheme(const Highlighting::Theme &theme);
    // The window's editor font size in points.
    void setFontSize(double points);
    // Keys and values in `font` (the editor's family and size).
    void setMonospacedFont(const QFont &font);
    const QFont &monospacedFont() const { return m_font; }

    // Shows the window's latest result; nothing clears the view back to its empty area.
    void setResult(std::optional<JSONTreeResult> result);
    const std::optional<JSONTreeResult> &result() const { return m_result; }

    // The rows on the list now (empty without an ok result).
    const JSONRowList &rows() const { return m_rows; }
    bool isExpanded(std::u16string_view id) const { return m_state && m_state->isExpanded(id); }
    void toggle(std::u16string_view id);
    // Forgets the user's expansion: the next ok result starts from the default.
    void resetExpansion();

    std::optional<std::size_t> selectedRow() const { return m_selected; }
    void setSelectedRow(std::optional<std::size_t> row);
    void copySelection() const;

    // Searchable.
    void setSearch(TextMatcher matcher) override;
    const TextMatcher &search() const override { return m_search; }
    std::size_t matchCount() const override { return m_matches.size(); }
    std::size_t currentMatchNumber() const override;
    bool findNext(SearchDirection direction, SearchStart start = SearchStart::AfterCurrent) override;

    int rowHeight() const { return m_rowHeight; }

    static constexpr int padding = 12;
    static constexpr int indentPerLevel = 14;
    static constexpr int itemSpacing = 4;
    static constexpr int chevronWidth = 12;
    static constexpr int rowVerticalPadding = 1;

signals:
    // The matches of the search or the current one may have changed.
    void searchChanged();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    struct RowText {
        QString key;
        QString summary;
    };
    const RowText &rowText(std::size_t row);
    void rebuildRows();
    void updateScrollBars();
    std::optional<std::size_t> rowAt(int viewportY) const;
    void toggleRow(std::size_t row);
    void updateMatches();
    // Marks behind the occurrences of the search in `text`, drawn from `x` in the row at `top`.
    void paintMatchMarks(QPainter &painter, const QString &text, qreal x, int top, QColor color) const;

    Highlighting::Theme m_theme;
    QFont m_font;
    QFont m_chevronFont;
    int m_rowHeight = 18;
    double m_advance = 8;
    std::optional<JSONTreeResult> m_result;
    std::optional<JSONTreeRows> m_state;
    JSONRowList m_rows;
    std::unordered_map<std::size_t, RowText> m_textCache;
    std::optional<std::size_t> m_selected;
    int m_contentWidth = 0;
    TextMatcher m_search;
    JSONTreeMatches m_matches; // Follow the result.
};

} // namespace Viewers
