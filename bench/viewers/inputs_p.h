#pragma once

// Deterministic inputs shared by the viewer benchmarks, generated in memory once.
#include <string>

namespace BenchInputs {

// About 50 MB of CSV: 8 columns, some quoted fields with commas and doubled quotes, some
// non-ASCII text; LF line breaks as the editor holds them.
inline const std::u16string &csv()
{
    static const std::u16string text = [] {
        std::u16string out;
        out.reserve(52'000'000);
        out += u"id,name,city,amount,date,flag,note,code\n";
        for (int i = 0; out.size() < 50'000'000; ++i) {
            const std::string number = std::to_string(i);
            std::u16string row(number.begin(), number.end());
            row += u",Zoë Ångström,\"Bergen, NO\",";
            const std::string amount = std::to_string(i % 9973) + "." + std::to_string(i % 100);
            row.append(amount.begin(), amount.end());
            row += u",2024-03-17,true,\"says \"\"hi\"\" twice\",ABC-";
            row.append(number.begin(), number.end());
            row += u'\n';
            out += row;
        }
        return out;
    }();
    return text;
}

// About 50 MB of pretty-printed JSON: an array of records with nested objects and arrays.
inline const std::u16string &json()
{
    static const std::u16string text = [] {
        std::u16string out;
        out.reserve(52'000'000);
        out += u"[\n";
        for (int i = 0; out.size() < 50'000'000; ++i) {
            const std::string number = std::to_string(i);
            std::u16string record = u"  {\n    \"id\": ";
            record.append(number.begin(), number.end());
            record += u",\n    \"name\": \"Zoë Ångström\",\n    \"score\": 12.5,\n    \"active\": true,\n"
                      u"    \"tags\": [\"alpha\", \"beta\"],\n    \"owner\": {\"first\": \"Ann\", \"age\": 41, \"x\": null}\n  },\n";
            out += record;
        }
        out += u"  {}\n]\n";
        return out;
    }();
    return text;
}

// About 5 MB of Markdown: headings, paragraphs with inline styling, lists, quotes and code.
inline const std::u16string &markdown()
{
    static const std::u16string text = [] {
        std::u16string out;
        out.reserve(5'300'000);
        for (int i = 0; out.size() < 5'000'000; ++i) {
            const std::string number = std::to_string(i);
            std::u16string section = u"## Section ";
            section.append(number.begin(), number.end());
            section += u"\n\nCorvane opens **structured** text and shows it as a *table*, a tree or a `preview`,\n"
                       u"with [links](https://example.com/a) and ~~old~~ words on a second line.\n\n"
                       u"- first item with *emphasis*\n- second item\n1. numbered item\n"
                       u"> A quoted **remark** here.\n\n```json\n{ \"indented\": true }\n```\n---\n";
            out += section;
        }
        return out;
    }();
    return text;
}

} // namespace BenchInputs
