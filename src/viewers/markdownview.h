#pragma once

#include "viewers/mdblock.h"
#include "viewers/rowscrollarea.h"
#include "viewers/searchable.h"

#include "highlighting/theme.h"

#include <QFont>
#include <QTextLayout>

#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

namespace Viewers {

// The read-only Markdown preview: one element per block, in order, on the theme's background,
// with headings at S + Δ points, paragraphs and list items at S, code at S − 1 in a rounded
// tinted box, quotes in italic serif beside a bar, and thin rules. Only the blocks on screen
// are laid out; the rest carry estimated heights until they scroll into view. Text cannot be
// selected. Find looks through the text the blocks show (MDBlockList::shownText): a match is
// one occurrence, every one on screen is marked and the current one stands out.
class MarkdownView : public Internal::RowScrollArea, public Searchable {
    Q_OBJECT

public:
    explicit MarkdownView(QWidget *parent = nullptr);
    ~MarkdownView() override;

    void setBlocks(MDBlockList blocks);
    const MDBlockList &blocks() const { return m_blocks; }
    // Only the theme's foreground and background are used.
    void setTheme(const Highlighting::Theme &theme);
    // S, the window's editor font size in points.
    void setFontSize(double points);
    double fontSize() const { return m_fontSize; }

    // The font a block's text is drawn in (for a list item, its text; the bullet keeps the
    // default text font).
    QFont blockFont(const MDBlock &block) const;
    QFont bulletFont() const;

    // Where the preview is scrolled: the block at the top of the viewport and how far it is
    // scrolled past, from 0 (its top at the viewport's top) to below 1. The first block counts
    // the top padding as part of it, so the preview scrolled all the way up is block 0 at 0.
    std::size_t blockAtTop() const;
    double blockAtTopFraction() const;
    // Scrolls so that block `index` (clamped to the list) is at the top with `fraction` (in
    // [0, 1]) of its height above the viewport, as far as the list can scroll. The block is
    // measured first, so the fraction is exact. Does not emit topBlockChanged.
    void scrollToBlock(std::size_t index, double fraction = 0);

    // The link target under viewport point `point`, if any.
    std::optional<QString> linkAt(const QPoint &point);
    // Whether a clicked link is also opened with the desktop's handler (the default); the
    // linkActivated signal is emitted either way.
    void setOpensLinks(bool opens) { m_opensLinks = opens; }

    // Searchable. Without a current match a find starts from where the last current match was,
    // or else from the block at the top. A newer parse or needle keeps the current match while
    // the same block still holds one at the same offset.
    void setSearch(TextMatcher matcher) override;
    const TextMatcher &search() const override { return m_search; }
    std::size_t matchCount() const override { return m_matches.size(); }
    std::size_t currentMatchNumber() const override { return m_current ? *m_current + 1 : 0; }
    bool findNext(SearchDirection direction, SearchStart start = SearchStart::AfterCurrent) override;
    const std::vector<MDTextMatch> &matches() const { return m_matches; }
    // The current match's place in the viewport (its first line), for tests; empty without one.
    QRect currentMatchRect();

    static constexpr double defaultBulletPointSize = 13;
    static constexpr int horizontalPadding = 28;
    static constexpr int verticalPadding = 22;
    // Δ (added to S) and the padding above a heading, by level 1–6.
    static int headingSizeDelta(int level);
    static int headingTopPadding(int level);

signals:
    void linkActivated(const QString &target);
    // The user moved the scroll position (wheel, keys, the scroll bar, or its value set from
    // outside, or a find that scrolled to its match): the block now at the top and the fraction
    // of it above the viewport. Emitted for every step, including steps within one block; never
    // for scrollToBlock, new blocks, font or width changes.
    void topBlockChanged(std::size_t index, double fraction);
    // The matches of the search or the current one may have changed.
    void searchChanged();

protected:
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    int measureRow(std::size_t row) override;
    void paintRow(QPainter &painter, std::size_t row, const QRect &rect) override;
    void scrollContentsBy(int dx, int dy) override;
    void paintBackground(QPainter &painter) override;
    int topInset() const override { return verticalPadding; }
    int bottomInset() const override { return verticalPadding; }
    void viewportWidthChanged() override;

private:
    struct LinkRange {
        int start;
        int length;
        QString target;
    };
    struct Element {
        std::unique_ptr<QTextLayout> text;
        int textHeight = 0;
        int height = 0;
        std::vector<LinkRange> links;
    };
    // Where a block's text is drawn, relative to the top-left of its row.
    QPoint textOrigin(const MDBlock &block) const;
    const Element &element(std::size_t index);
    Element buildElement(const MDBlock &block) const;
    int textWidthFor(const MDBlock &block) const;
    struct FontEstimate {
        int lineSpacing = 16;
        double characterWidth = 7;
    };
    int estimateHeight(const MDBlock &block, const FontEstimate &estimate) const;
    FontEstimate fontEstimate(const MDBlock &block) const;
    enum class Position { Keep, Reset };
    void relayout(Position position);
    // The pixels block `index` spans for scrolling: its height, plus the top padding for block 0.
    std::int64_t scrollSpan(std::size_t index);
    void updateMatches();
    // Marks for the matches in block `index`, for QTextLayout::draw.
    QList<QTextLayout::FormatRange> matchMarks(std::size_t index) const;
    // The current match's first line, relative to its block's top.
    std::optional<QRectF> currentMatchLine();
    void scrollToCurrentMatch();

    MDBlockList m_blocks;
    Highlighting::Theme m_theme;
    double m_fontSize = 13;
    std::unordered_map<std::size_t, Element> m_cache;
    bool m_opensLinks = true;
    TextMatcher m_search;
    std::vector<MDTextMatch> m_matches; // In order; follows the blocks.
    std::optional<std::size_t> m_current;
    // Where the last current match was: the find's place, as a caret is the text view's.
    std::optional<MDTextMatch> m_place;
};

} // namespace Viewers
