#pragma once

// Case names for parameterised suites. GoogleTest allows only letters, digits and '_' in a name, and ctest names
// must not change from run to run, so a table's own text is spelled out: letters and digits stay, every other
// character becomes a word between underscores ("-5" -> "_minus_5", "1,5" -> "1_comma_5"). Different texts
// give different names.
//
//   INSTANTIATE_TEST_SUITE_P(Table, ParseInt32, testing::ValuesIn(kCases),
//                            [](const auto &row) { return testName(row.param.text); });

#include <cstdio>
#include <string>
#include <string_view>

inline std::string testName(std::string_view text)
{
    if (text.empty())
        return "_empty_";
    std::string name;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= '0' && byte <= '9') || (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z')) {
            name += c;
            continue;
        }
        const char *word = nullptr;
        switch (c) {
        case ' ':
            word = "space";
            break;
        case '\t':
            word = "tab";
            break;
        case '\r':
            word = "cr";
            break;
        case '\n':
            word = "lf";
            break;
        case '-':
            word = "minus";
            break;
        case '+':
            word = "plus";
            break;
        case '.':
            word = "dot";
            break;
        case ',':
            word = "comma";
            break;
        case ';':
            word = "semicolon";
            break;
        case ':':
            word = "colon";
            break;
        case '=':
            word = "eq";
            break;
        case '"':
            word = "quote";
            break;
        case '\'':
            word = "apostrophe";
            break;
        case '[':
            word = "lbracket";
            break;
        case ']':
            word = "rbracket";
            break;
        case '(':
            word = "lparen";
            break;
        case ')':
            word = "rparen";
            break;
        case '/':
            word = "slash";
            break;
        case '\\':
            word = "backslash";
            break;
        case '#':
            word = "hash";
            break;
        case '*':
            word = "star";
            break;
        case '_':
            word = "underscore";
            break;
        case '$':
            word = "dollar";
            break;
        default:
            break;
        }
        char hex[4];
        if (!word) {
            std::snprintf(hex, sizeof hex, "x%02X", byte);
            word = hex;
        }
        name += '_';
        name += word;
        name += '_';
    }
    return name;
}

// A case described in words, as one name: "id 10 is only written" -> "Id10IsOnlyWritten".
inline std::string camelName(std::string_view words)
{
    std::string name;
    bool wordStart = true;
    for (const char c : words) {
        const bool alnum = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        if (!alnum) {
            wordStart = true;
            continue;
        }
        name += wordStart && c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
        wordStart = false;
    }
    return name.empty() ? testName(words) : name;
}
