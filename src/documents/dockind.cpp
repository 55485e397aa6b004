#include "dockind.h"

#include <algorithm>
#include <string>

namespace Documents {

namespace {

std::string lowerExtension(std::string_view path)
{
    const auto slash = path.find_last_of('/');
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const auto dot = name.find_last_of('.');
    if (dot == std::string_view::npos)
        return {};
    std::string extension(name.substr(dot + 1));
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return char(c >= 'A' && c <= 'Z' ? c + 32 : c); });
    return extension;
}

struct KindInfo {
    std::string_view label;
    std::string_view icon;
    std::string_view saveMime;
};

constexpr KindInfo infos[] = {
    {"JSON", "curlybraces", "application/json"},
    {"CSV", "tablecells", "text/csv"},
    {"TXT", "doc.text", "text/plain"},
    {"MD", "text.alignleft", "text/plain"},
    {"YAML", "list.bullet.indent", "text/plain"},
    {"TOML", "list.bullet.indent", "text/plain"},
    {"XML", "chevron.left.forwardslash.chevron.right", "application/xml"},
    {"LOG", "doc.text.magnifyingglass", "text/plain"},
    {"NDJSON", "curlybraces", "application/json"},
};

} // namespace

DocKind DocKind::detect(std::string_view path)
{
    const std::string extension = lowerExtension(path);
    if (extension == "json")
        return Json;
    if (extension == "ndjson" || extension == "jsonl")
        return Ndjson;
    // Tab-separated files are CSV documents read with a tab.
    if (extension == "csv" || extension == "tsv")
        return Csv;
    if (extension == "md" || extension == "markdown")
        return Markdown;
    if (extension == "yaml" || extension == "yml")
        return Yaml;
    if (extension == "toml")
        return Toml;
    if (extension == "xml" || extension == "plist")
        return Xml;
    if (extension == "log")
        return Log;
    return Txt;
}

bool DocKind::fromLabel(std::string_view label, DocKind &kind)
{
    for (Value value : all) {
        if (infos[value].label == label) {
            kind = value;
            return true;
        }
    }
    return false;
}

std::string_view DocKind::label() const { return infos[m_value].label; }
std::string_view DocKind::iconName() const { return infos[m_value].icon; }
std::string_view DocKind::saveMimeType() const { return infos[m_value].saveMime; }

bool hasOpenableExtension(std::string_view path)
{
    const std::string extension = lowerExtension(path);
    return std::find(openableExtensions.begin(), openableExtensions.end(), extension)
           != openableExtensions.end();
}

} // namespace Documents
