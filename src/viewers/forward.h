#pragma once

// Forward declarations of the viewers' types, for headers that only pass them around.
namespace Viewers {

class CSVTable;
class CSVParser;
struct CSVRow;
class JSONNode;
class JSONTreeResult;
class JSONTreeBuilder;
class JSONTreeRows;
class JSONRowList;
class ExpandedSet;
struct FlatJSONRow;
struct MDBlock;
class MDBlockList;
struct InlineRun;
class StyledText;

class CSVTableView;
class JSONTreeView;
class MarkdownView;

} // namespace Viewers
