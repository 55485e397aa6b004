#include "editcommands.h"

#include "viewers/csvtableview.h"
#include "viewers/jsontreeview.h"

#include "textview/stextview.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>

namespace App {

namespace {

// The table or tree the focus is in (the focus may sit on one of their inner widgets).
template<typename View>
View *enclosing(QWidget *focus)
{
    for (QWidget *widget = focus; widget; widget = widget->parentWidget())
        if (auto *view = qobject_cast<View *>(widget))
            return view;
    return nullptr;
}

bool clipboardHasText()
{
    return !QGuiApplication::clipboard()->text().isEmpty();
}

} // namespace

bool editActionAvailable(EditAction action, QWidget *focus)
{
    if (auto *text = qobject_cast<STTextView *>(focus)) {
        const bool selected = text->textSelection().length > 0;
        switch (action) {
        case EditAction::Undo: return text->isEditable() && text->document().canUndo();
        case EditAction::Redo: return text->isEditable() && text->document().canRedo();
        case EditAction::Cut: return text->isEditable() && selected;
        case EditAction::Copy: return selected;
        case EditAction::Paste: return text->isEditable() && clipboardHasText();
        case EditAction::Delete: return text->isEditable() && text->document().length() > 0;
        case EditAction::SelectAll: return text->document().length() > 0;
        }
    }
    if (auto *line = qobject_cast<QLineEdit *>(focus)) {
        switch (action) {
        case EditAction::Undo: return line->isUndoAvailable();
        case EditAction::Redo: return line->isRedoAvailable();
        case EditAction::Cut: return !line->isReadOnly() && line->hasSelectedText();
        case EditAction::Copy: return line->hasSelectedText();
        case EditAction::Paste: return !line->isReadOnly() && clipboardHasText();
        case EditAction::Delete: return !line->isReadOnly() && !line->text().isEmpty();
        case EditAction::SelectAll: return !line->text().isEmpty();
        }
    }
    if (action == EditAction::Copy)
        return enclosing<Viewers::CSVTableView>(focus) || enclosing<Viewers::JSONTreeView>(focus);
    return false;
}

void performEditAction(EditAction action, QWidget *focus)
{
    if (!editActionAvailable(action, focus))
        return;
    if (auto *text = qobject_cast<STTextView *>(focus)) {
        switch (action) {
        case EditAction::Undo: text->undo(); break;
        case EditAction::Redo: text->redo(); break;
        case EditAction::Cut: text->cut(); break;
        case EditAction::Copy: text->copy(); break;
        case EditAction::Paste: text->paste(); break;
        case EditAction::Delete: text->deleteForward(); break;
        case EditAction::SelectAll: text->selectAll(); break;
        }
        return;
    }
    if (auto *line = qobject_cast<QLineEdit *>(focus)) {
        switch (action) {
        case EditAction::Undo: line->undo(); break;
        case EditAction::Redo: line->redo(); break;
        case EditAction::Cut: line->cut(); break;
        case EditAction::Copy: line->copy(); break;
        case EditAction::Paste: line->paste(); break;
        case EditAction::Delete: line->del(); break;
        case EditAction::SelectAll: line->selectAll(); break;
        }
        return;
    }
    if (auto *table = enclosing<Viewers::CSVTableView>(focus))
        table->copySelection();
    else if (auto *tree = enclosing<Viewers::JSONTreeView>(focus))
        tree->copySelection();
}

} // namespace App
