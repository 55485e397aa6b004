// The find glue of the text view: the finder's actions, the find bar's place and colours, and
// the selection moving over the document's matches.
#include "stextview.h"

#include "stfindbar_p.h"

#include <QLineEdit>
#include <QScrollBar>

using TextView::FindAction;
using TextView::TextRange;

// ---------------------------------------------------------------------------------------------
// Text finder

bool STTextFinder::validateAction(FindAction action) const
{
    switch (action) {
    case FindAction::ShowFindInterface:
    case FindAction::ShowReplaceInterface:
    case FindAction::HideFindInterface:
        return true;
    case FindAction::NextMatch:
    case FindAction::PreviousMatch:
        return !m_view->searchString().isEmpty();
    }
    return false;
}

void STTextFinder::performAction(FindAction action)
{
    switch (action) {
    case FindAction::ShowFindInterface:
        m_view->showFindBar(false);
        break;
    case FindAction::ShowReplaceInterface:
        m_view->showFindBar(true);
        break;
    case FindAction::HideFindInterface:
        m_view->hideFindBar();
        break;
    case FindAction::NextMatch:
    case FindAction::PreviousMatch: {
        // With the bar closed the matches are gone: the menu's Find Next searches again.
        TextView::TextDocument &document = m_view->document();
        if (document.matches().empty() && !document.searchNeedle().empty())
            document.recomputeMatches();
        m_view->findNext(action == FindAction::NextMatch);
        break;
    }
    }
}

// ---------------------------------------------------------------------------------------------
// Find

void STTextView::setSearchString(const QString &needle, bool caseSensitive)
{
    m_document->setSearch(needle.toStdU16String(),
                          caseSensitive ? TextView::CaseSensitivity::Sensitive : TextView::CaseSensitivity::Insensitive);
}

bool STTextView::findNext(bool forward)
{
    const std::optional<TextRange> match = m_document->nextMatch(
        textSelection(), forward ? TextView::SearchDirection::Forward : TextView::SearchDirection::Backward);
    if (!match)
        return false;
    setSelection(match->location, match->end());
    scrollRangeToVisible(*match);
    if (m_findBar)
        m_findBar->refreshCount();
    return true;
}

bool STTextView::replaceCurrent(const QString &replacement)
{
    if (!m_editable)
        return false;
    const TextRange selection = textSelection();
    const std::u16string with = replacement.toStdU16String();
    std::optional<TextRange> replaced;
    if (currentMatchIndex() != 0 && (!m_delegate || m_delegate->shouldChangeText(this, selection, with))) {
        m_layout.clearPreedit();
        replaced = m_document->replaceMatch(selection, with);
        if (replaced)
            finishOwnEdit(replaced->end());
    }
    findNext(true);
    return replaced.has_value();
}

std::size_t STTextView::replaceAll(const QString &replacement)
{
    if (!m_editable || m_document->matches().empty())
        return 0;
    const std::u16string with = replacement.toStdU16String();
    std::optional<std::size_t> first;
    m_layout.clearPreedit();
    // One undo step and one change callback for the whole run; the delegate still has its say
    // on every match.
    const std::size_t replaced = m_document->replaceAllMatches(with, [&](TextRange range) {
        if (m_delegate && !m_delegate->shouldChangeText(this, range, with))
            return false;
        first = range.location; // matches go from the last to the first
        return true;
    });
    if (first)
        finishOwnEdit(*first + with.size());
    return replaced;
}

bool STTextView::isFindBarVisible() const
{
    return m_findBar && m_findBar->isVisible();
}

void STTextView::showFindBar(bool replace)
{
    if (!m_findBar) {
        m_findBar = new STFindBar(this);
        applyFindBarColors();
    }
    const TextRange selection = textSelection();
    if (selection.length > 0 && selection.length <= 200) {
        const std::u16string selected = m_document->text(selection);
        if (selected.find(u'\n') == std::u16string::npos)
            m_findBar->findField()->setText(QString::fromStdU16String(selected));
    }
    m_findBar->showFind(replace);
    updateViewportMargins();
    if (!m_document->searchNeedle().empty() || !m_findBar->findField()->text().isEmpty())
        setSearchString(m_findBar->findField()->text(),
                        m_document->searchCaseSensitivity() == TextView::CaseSensitivity::Sensitive);
    m_findBar->findField()->setFocus();
    m_findBar->findField()->selectAll();
}

void STTextView::hideFindBar()
{
    if (!m_findBar || !m_findBar->isVisible())
        return;
    m_findBar->hide();
    m_document->deactivateSearch();
    updateViewportMargins();
    setFocus(Qt::OtherFocusReason);
    viewport()->update();
}

void STTextView::applyFindBarColors()
{
    const QColor &background = m_style.background;
    const QColor &text = m_style.text;
    // Scroll bars: a quiet groove in the background colour and a handle between text and background.
    const auto mix = [](const QColor &a, const QColor &b, float t) {
        return QColor::fromRgbF(a.redF() * (1 - t) + b.redF() * t, a.greenF() * (1 - t) + b.greenF() * t,
                                a.blueF() * (1 - t) + b.blueF() * t);
    };
    for (QScrollBar *bar : {verticalScrollBar(), horizontalScrollBar()}) {
        QPalette palette = bar->palette();
        palette.setColor(QPalette::Window, mix(background, text, 0.04f));
        palette.setColor(QPalette::Base, background);
        palette.setColor(QPalette::Button, mix(background, text, 0.25f));
        palette.setColor(QPalette::Dark, mix(background, text, 0.35f));
        palette.setColor(QPalette::Shadow, mix(background, text, 0.35f));
        palette.setColor(QPalette::Light, mix(background, text, 0.3f));
        palette.setColor(QPalette::ButtonText, text);
        bar->setPalette(palette);
    }
    if (!m_findBar)
        return;
    // The bar takes the view's colours, slightly offset, so that it belongs to the theme.
    const bool dark = background.lightnessF() < 0.5;
    QPalette palette = m_findBar->palette();
    const QColor bar = dark ? background.lighter(135) : background.darker(106);
    palette.setColor(QPalette::Window, bar);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Base, background);
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::Button, bar);
    palette.setColor(QPalette::ButtonText, text);
    QColor placeholder = text;
    placeholder.setAlphaF(0.45f);
    palette.setColor(QPalette::PlaceholderText, placeholder);
    m_findBar->setPalette(palette);
}
