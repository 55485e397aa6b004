#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace Documents {

// The nine kinds of document, decided by the file name extension alone; the content is never
// sniffed for the kind (only a CSV document's delimiter is, see viewers/csvdialect.h). Never
// persisted: a reopened file is classified again.
class DocKind {
public:
    enum Value : std::uint8_t { Json, Csv, Txt, Markdown, Yaml, Toml, Xml, Log, Ndjson };

    constexpr DocKind(Value value) : m_value(value) {}
    constexpr operator Value() const { return m_value; }

    // Kind from the last path component's extension (text after its last dot), lower-cased.
    // Unknown and missing extensions give Txt.
    static DocKind detect(std::string_view path);
    // Kind from its status-bar label ("JSON", "MD", …); false for an unknown label.
    static bool fromLabel(std::string_view label, DocKind &kind);

    // Status-bar label: "JSON", "CSV", "TXT", "MD", "YAML", "TOML", "XML", "LOG", "NDJSON".
    std::string_view label() const;
    // Symbol name of the kind's icon, as the toolbar title shows it.
    std::string_view iconName() const;
    // Content type proposed by the save-as panel: JSON for json and ndjson, CSV, XML, else
    // plain text.
    std::string_view saveMimeType() const;

    static constexpr std::array<Value, 9> all = {Json, Csv, Txt, Markdown, Yaml, Toml, Xml, Log, Ndjson};

private:
    Value m_value;
};

// The extensions that open and drop accept without asking the platform, in display order.
inline constexpr std::array<std::string_view, 14> openableExtensions = {
    "json", "ndjson", "jsonl", "csv", "tsv", "txt", "md", "markdown", "yaml", "yml", "toml", "xml", "plist", "log"};

// True when the lower-cased extension of `path` is one of `openableExtensions`. The application
// also accepts files its MIME database classifies as text, JSON, CSV or XML.
bool hasOpenableExtension(std::string_view path);


} // namespace Documents
