#pragma once

class QGridLayout;
class QWidget;

namespace TextView {

// The rows of a find bar: the field and its count first, the buttons beside them while the bar
// is wide enough to leave the field minimumFieldWidth, else on a row of their own (in a narrow
// pane, such as half of a split window at its smallest), then the replace row when there is one.
class FindBarRows {
public:
    static constexpr int minimumFieldWidth = 140;

    // Places the widgets in `grid` on one row (the replace row, if any, under it).
    FindBarRows(QGridLayout *grid, QWidget *field, QWidget *count, QWidget *buttons, QWidget *replaceRow = nullptr);
    // Rearranges the rows for a bar `width` wide, when that changes them.
    void fit(int width);

private:
    QGridLayout *m_grid;
    QWidget *m_count;
    QWidget *m_buttons;
    QWidget *m_replaceRow;
    bool m_twoRows = false;
};

} // namespace TextView
