#pragma once

#include <cstdint>

// Forward declarations of the text view component, for headers that only pass pointers.
namespace TextView {
class LineIndex;
class TextStorage;
class TextStorageObserver;
class UndoManager;
class CoalescingUndoManager;
class YankingManager;
struct EditReport;
struct Decoration;
struct TextRange;
enum class DeleteAction;
enum class UnderlineStyle : std::uint8_t;
} // namespace TextView

class STTextView;
class STTextViewDelegate;
class STTextFinder;
class STGutterView;
struct STAttributedText;
