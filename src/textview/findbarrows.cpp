#include "findbarrows.h"

#include <QGridLayout>
#include <QWidget>

namespace TextView {

FindBarRows::FindBarRows(QGridLayout *grid, QWidget *field, QWidget *count, QWidget *buttons, QWidget *replaceRow)
    : m_grid(grid), m_count(count), m_buttons(buttons), m_replaceRow(replaceRow)
{
    grid->addWidget(field, 0, 0);
    grid->addWidget(count, 0, 1);
    grid->addWidget(buttons, 0, 2);
    if (replaceRow)
        grid->addWidget(replaceRow, 1, 0, 1, 3);
    grid->setColumnStretch(0, 1);
}

void FindBarRows::fit(int width)
{
    const QMargins margins = m_grid->contentsMargins();
    const int oneRow = margins.left() + minimumFieldWidth + m_count->minimumWidth() + m_buttons->sizeHint().width()
                       + 2 * m_grid->horizontalSpacing() + margins.right();
    const bool twoRows = width < oneRow;
    if (twoRows == m_twoRows)
        return;
    m_twoRows = twoRows;
    m_grid->removeWidget(m_buttons);
    if (m_replaceRow)
        m_grid->removeWidget(m_replaceRow);
    if (twoRows) {
        m_grid->addWidget(m_buttons, 1, 0, 1, 2);
        if (m_replaceRow)
            m_grid->addWidget(m_replaceRow, 2, 0, 1, 2);
    } else {
        m_grid->addWidget(m_buttons, 0, 2);
        if (m_replaceRow)
            m_grid->addWidget(m_replaceRow, 1, 0, 1, 3);
    }
}

} // namespace TextView
