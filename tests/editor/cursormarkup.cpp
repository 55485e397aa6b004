#include "cursormarkup.h"

MarkedText parseMarkup(const QString &markup)
{
    MarkedText marked;
    qsizetype open = -1;
    for (QChar c : markup) {
        const auto here = marked.text.size();
        if (c == '|') {
            marked.selection = {here, 0};
        } else if (c == '[') {
            open = qsizetype(here);
        } else if (c == ']' && open >= 0) {
            marked.selection = {std::size_t(open), here - std::size_t(open)};
        } else {
            marked.text.push_back(c.unicode());
        }
    }
    return marked;
}

QString writeMarkup(const std::u16string &text, TextView::TextRange selection)
{
    QString out = QString::fromStdU16String(text);
    if (selection.length == 0)
        return out.insert(qsizetype(selection.location), '|');
    out.insert(qsizetype(selection.end()), ']');
    return out.insert(qsizetype(selection.location), '[');
}
