#include "highlighting/theme.h"

#include <array>
#include <unordered_map>

namespace Highlighting {

namespace {

constexpr SyntaxPalette defaultDark = {
    {0.78, 0.59, 0.87}, {0.76, 0.86, 0.55}, {0.9, 0.72, 0.48}, {0.55, 0.6, 0.64},
    Color::white(0.7),  {0.45, 0.74, 0.96}, {0.4, 0.85, 0.94}, {0.93, 0.51, 0.51},
};

constexpr SyntaxPalette defaultLight = {
    {0.55, 0.18, 0.55}, {0.2, 0.43, 0.18}, {0.6, 0.36, 0.1}, {0.45, 0.5, 0.5},
    Color::white(0.35), {0.15, 0.36, 0.69}, {0.1, 0.5, 0.6}, {0.72, 0.2, 0.2},
};

struct CustomEntry {
    std::string_view id;
    SyntaxPalette palette;
};

// Fields in palette order: keyword, string, number, comment, punctuation, property, type, constant.
constexpr std::array<CustomEntry, 19> customTable = {{
    {"forest-green",
     {{0.9, 0.5, 0.9}, {0.35, 0.95, 0.45}, {0.95, 0.9, 0.35}, {0.48, 0.59, 0.5}, {0.72, 0.812, 0.728},
      {0.4, 0.7, 1}, {0.3, 0.9, 0.85}, {1, 0.55, 0.5}}},
    {"adventure-time",
     {{0.6069, 0.3495, 0.3239}, {0.2895, 0.695, 0.0925}, {0.9054, 0.4555, 0.1164}, {0.3073, 0.4855, 0.7492},
      {0.8025, 0.712, 0.6575}, {0.0965, 0.591, 0.778}, {0.4378, 0.6463, 0.5947}, {0.9888, 0.371, 0.3525}}},
    {"vscode-dark",
     {{0.7725, 0.5255, 0.7529}, {0.8078, 0.5686, 0.4706}, {0.7098, 0.8078, 0.6588}, {0.4157, 0.6, 0.3333},
      {0.8314, 0.8314, 0.8314}, {0.6118, 0.8627, 0.9961}, {0.3059, 0.7882, 0.6902}, {0.3373, 0.6118, 0.8392}}},
    {"vscode-light",
     {{0.6863, 0, 0.8588}, {0.6392, 0.0824, 0.0824}, {0.0353, 0.5255, 0.3451}, {0, 0.502, 0}, {0.2, 0.2, 0.2},
      {0, 0.0627, 0.502}, {0.149, 0.498, 0.6}, {0, 0.4392, 0.7569}}},
    {"dracula-pro",
     {{0.7804, 0.5725, 0.9176}, {0.3137, 0.9804, 0.4824}, {1, 0.7961, 0.4196}, {0.42, 0.42, 0.42},
      {0.8, 0.8, 0.78}, {0.5098, 0.6667, 1}, {0.5451, 0.9137, 0.9922}, {1, 0.3333, 0.3333}}},
    {"dracula",
     {{1, 0.5729, 0.8176}, {0.3525, 0.9667, 0.5549}, {0.9551, 0.9747, 0.6163}, {0.5785, 0.5824, 0.6059},
      {0.8314, 0.8329, 0.8424}, {0.7914, 0.6609, 0.982}, {0.6035, 0.9283, 0.9944}, {1, 0.4303, 0.4057}}},
    {"nord",
     {{0.7098, 0.5533, 0.6819}, {0.6358, 0.7495, 0.5401}, {0.9239, 0.7998, 0.5278}, {0.5146, 0.5377, 0.5833},
      {0.7138, 0.7378, 0.7824}, {0.4994, 0.6281, 0.7614}, {0.5261, 0.7529, 0.8215}, {0.8737, 0.68, 0.6977}}},
    {"grass",
     {{0.78, 0.59, 0.87}, {0.76, 0.86, 0.55}, {0.9, 0.72, 0.48}, {0.55, 0.6, 0.64}, {0.8612, 0.87, 0.5859},
      {0.45, 0.74, 0.96}, {0.4, 0.85, 0.94}, {0.93, 0.51, 0.51}}},
    {"ocean",
     {{0.78, 0.59, 0.87}, {0.76, 0.86, 0.55}, {0.9, 0.72, 0.48}, {0.55, 0.6, 0.64}, {0.8754, 0.9102, 0.968},
      {0.45, 0.74, 0.96}, {0.4, 0.85, 0.94}, {0.93, 0.51, 0.51}}},
    {"novel",
     {{0.55, 0.18, 0.55}, {0.2, 0.43, 0.18}, {0.6, 0.36, 0.1}, {0.45, 0.5, 0.5}, {0.3874, 0.2847, 0.2652},
      {0.15, 0.36, 0.69}, {0.1, 0.5, 0.6}, {0.72, 0.2, 0.2}}},
    {"hipster-green",
     {{0.698, 0, 0.698}, {0, 0.651, 0}, {0.7484, 0.7484, 0}, {0.4, 0.4, 0.4}, {0.4272, 0.6139, 0.1783},
      {0.1422, 0.4308, 0.698}, {0, 0.651, 0.698}, {0.7144, 0.1292, 0.2909}}},
    {"mariana",
     {{0.9023, 0.7799, 0.8919}, {0.552, 0.7891, 0.5598}, {1, 0.6699, 0.2602}, {0.5216, 0.5553, 0.596},
      {0.7169, 0.7445, 0.7866}, {0.7152, 0.8275, 0.9212}, {0.6072, 0.854, 0.8514}, {0.9978, 0.7505, 0.7728}}},
    {"snazzy",
     {{1, 0.4008, 0.7606}, {0.3178, 0.9758, 0.5402}, {0.9532, 0.9817, 0.5949}, {0.5522, 0.5629, 0.5742},
      {0.7832, 0.7901, 0.7822}, {0.3159, 0.7767, 1}, {0.5916, 0.9291, 1}, {1, 0.575, 0.5527}}},
    {"cobalt2",
     {{1, 0.3333, 1}, {0.219, 0.8703, 0.1301}, {0.9981, 0.8971, 0.0391}, {0.3333, 0.3333, 0.3333},
      {0.8147, 0.8305, 0.8437}, {0.5224, 0.5224, 1}, {0, 0.7333, 0.7333}, {0.974, 0.4258, 0.4485}}},
    {"grape",
     {{0.5529, 0.2094, 0.7882}, {0.1224, 0.6642, 0.106}, {0.5538, 0.8633, 0.1244}, {0.3473, 0.3164, 0.4168},
      {0.5157, 0.5137, 0.5314}, {0.2833, 0.4887, 0.9577}, {0.2308, 0.8687, 0.9297}, {0.929, 0.1326, 0.3795}}},
    {"fun-forrest",
     {{0.5523, 0.2611, 0.1922}, {0.5667, 0.6113, 0}, {0.7443, 0.5431, 0.0749}, {0.4979, 0.4156, 0.3326},
      {0.7247, 0.6198, 0.3176}, {0.2758, 0.5996, 0.6392}, {0.8546, 0.5092, 0.0736}, {0.8382, 0.1471, 0.1693}}},
    {"solarized-dark",
     {{0.42, 0.44, 0.77}, {0.16, 0.63, 0.6}, {0.71, 0.54, 0}, {0.4, 0.48, 0.51}, {0.65, 0.7, 0.7},
      {0.15, 0.55, 0.82}, {0.16, 0.63, 0.6}, {0.86, 0.2, 0.18}}},
    {"solarized-light",
     {{0.42, 0.44, 0.77}, {0.16, 0.63, 0.6}, {0.71, 0.54, 0}, {0.58, 0.63, 0.63}, {0.4, 0.48, 0.51},
      {0.15, 0.55, 0.82}, {0.16, 0.63, 0.6}, {0.86, 0.2, 0.18}}},
    {"monokai",
     {{0.98, 0.15, 0.45}, {0.9, 0.86, 0.45}, {0.68, 0.51, 1}, {0.46, 0.44, 0.37}, {0.97, 0.97, 0.95},
      {0.65, 0.89, 0.18}, {0.4, 0.85, 0.94}, {0.99, 0.59, 0.12}}},
}};

const std::array<Theme, 22> &themeTable()
{
    // A function-local static: initialised once, thread-safely, then read-only.
    static const std::array<Theme, 22> themes = {{
        {"vs-claude", "VS Claude", true, {0.122, 0.122, 0.118}, {0.965, 0.965, 0.957}},
        {"vscode-dark", "VS Code Dark+", true, {0.118, 0.118, 0.118}, {0.831, 0.831, 0.831}},
        {"vscode-light", "VS Code Light+", false, {1, 1, 1}, {0, 0, 0}},
        {"forest-green", "Forest Green", true, {0.08, 0.22, 0.12}, {0.88, 0.96, 0.88}},
        {"adventure-time", "Adventure Time", true, {0.12, 0.113, 0.271}, {0.973, 0.862, 0.754}},
        {"dracula", "Dracula", true, {0.157, 0.165, 0.212}, {1, 1, 1}},
        {"dracula-pro", "Dracula Pro", true, {0.129, 0.129, 0.129}, {0.973, 0.973, 0.949}},
        {"nord", "Nord", true, {0.182, 0.204, 0.251}, {0.847, 0.871, 0.915}},
        {"pro", "Pro", true, {0, 0, 0}, {0.958, 0.958, 0.958}},
        {"homebrew", "Homebrew", true, {0, 0, 0}, {0.157, 0.996, 0.078}},
        {"grass", "Grass", true, {0.075, 0.467, 0.239}, {1, 0.941, 0.647}},
        {"ocean", "Ocean", true, {0.169, 0.401, 0.787}, {1, 1, 1}},
        {"novel", "Novel", false, {0.875, 0.858, 0.766}, {0.301, 0.184, 0.177}},
        {"hipster-green", "Hipster Green", true, {0.063, 0.042, 0.021}, {0.518, 0.757, 0.218}},
        {"mariana", "Mariana", true, {0.196, 0.24, 0.278}, {0.847, 0.871, 0.914}},
        {"snazzy", "Snazzy", true, {0.167, 0.184, 0.228}, {0.937, 0.942, 0.921}},
        {"cobalt2", "Cobalt2", true, {0.074, 0.152, 0.218}, {1, 1, 1}},
        {"grape", "Grape", true, {0.089, 0.08, 0.138}, {0.622, 0.622, 0.63}},
        {"fun-forrest", "Fun Forrest", true, {0.144, 0.071, 0}, {0.87, 0.757, 0.397}},
        {"solarized-dark", "Solarized Dark", true, {0, 0.169, 0.212}, {0.514, 0.58, 0.588}},
        {"solarized-light", "Solarized Light", false, {0.992, 0.965, 0.89}, {0.396, 0.482, 0.514}},
        {"monokai", "Monokai", true, {0.157, 0.157, 0.157}, {0.973, 0.973, 0.949}},
    }};
    return themes;
}

const std::unordered_map<std::string_view, const Theme *> &idTable()
{
    static const std::unordered_map<std::string_view, const Theme *> table = [] {
        std::unordered_map<std::string_view, const Theme *> built;
        for (const Theme &theme : themeTable())
            built.emplace(theme.id(), &theme);
        return built;
    }();
    return table;
}

} // namespace

Theme::Theme(std::string_view id, std::string_view name, bool isDark, Color background, Color foreground)
    : m_id(id), m_name(name), m_isDark(isDark), m_background(background), m_foreground(foreground)
{
    const SyntaxPalette *custom = customSyntax(id);
    m_syntax = custom ? custom : &defaultSyntax(isDark);
}

std::span<const Theme> Theme::all()
{
    return themeTable();
}

const Theme *Theme::byId(std::string_view id)
{
    const auto &table = idTable();
    const auto found = table.find(id);
    return found == table.end() ? nullptr : found->second;
}

const Theme &Theme::defaultTheme()
{
    const Theme *theme = byId("vs-claude");
    return theme ? *theme : themeTable().front();
}

const Theme &Theme::resolve(std::string_view storedId)
{
    const Theme *theme = byId(storedId);
    return theme ? *theme : defaultTheme();
}

const SyntaxPalette *Theme::customSyntax(std::string_view id)
{
    for (const CustomEntry &entry : customTable)
        if (entry.id == id)
            return &entry.palette;
    return nullptr;
}

const SyntaxPalette &Theme::defaultSyntax(bool isDark)
{
    return isDark ? defaultDark : defaultLight;
}

} // namespace Highlighting
