#pragma once

class QWidget;

namespace App {

// The standard editing commands of the Edit menu. They act on the widget that has the keyboard
// focus: the text view, a line edit (the find bar, a panel's field), or the CSV table and the
// JSON tree, which copy what is selected.
enum class EditAction { Undo, Redo, Cut, Copy, Paste, Delete, SelectAll };

// Whether `action` can act on `focus` now (an Undo with something to undo, a Cut with a
// selection in an editable text, a Paste with text on the clipboard).
bool editActionAvailable(EditAction action, QWidget *focus);
void performEditAction(EditAction action, QWidget *focus);

} // namespace App
