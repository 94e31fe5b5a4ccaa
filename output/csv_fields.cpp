// RFC 4180 fields, byte by byte.
#include "csv_fields.h"

#include <algorithm>

namespace teebasket::csv {

void AppendQuoted(std::string& line, std::string_view value) {
    line.push_back('"');
    for (const char byte : value) {
        if (byte == '"') {
            line.push_back('"');
        }
        line.push_back(byte);
    }
    line.push_back('"');
}

bool CouldBeFormula(std::string_view value) {
    if (value.size() < 2) {
        return false;
    }
    switch (value.front()) {
        case '=':
        case '+':
        case '-':
        case '@':
        case '\t':
        case '\r':
            return true;
        default:
            return false;
    }
}

std::string WithoutFormulaGuard(std::string value) {
    if (value.size() >= 3 && value.front() == '\'' &&
        CouldBeFormula(std::string_view(value).substr(1))) {
        value.erase(0, 1);
    }
    return value;
}

std::string OnOneLine(std::string value) {
    std::replace_if(
        value.begin(), value.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    return value;
}

namespace {

// Skips the line end at `at`, if there is one; false when something else
// stands there.
bool SkipLineEnd(std::string_view text, std::size_t& at) {
    if (at >= text.size()) {
        return true;
    }
    if (text[at] == '\n') {
        ++at;
        return true;
    }
    if (text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n') {
        at += 2;
        return true;
    }
    return false;
}

bool ReadQuoted(std::string_view text, std::size_t& at, std::string& field) {
    for (++at;; ++at) {
        if (at >= text.size()) {
            return false;
        }
        if (text[at] == '"') {
            if (at + 1 < text.size() && text[at + 1] == '"') {
                field.push_back('"');
                ++at;
                continue;
            }
            ++at;
            return true;
        }
        field.push_back(text[at]);
    }
}

}  // namespace

bool ReadRecord(std::string_view text, std::size_t& at, std::vector<std::string>& fields,
                std::size_t maxFields) {
    fields.clear();
    for (;;) {
        if (fields.size() >= maxFields) {
            return false;
        }
        std::string& field = fields.emplace_back();
        if (at < text.size() && text[at] == '"') {
            if (!ReadQuoted(text, at, field)) {
                return false;
            }
        } else {
            while (at < text.size() && text[at] != ',' && text[at] != '\r' && text[at] != '\n') {
                if (text[at] == '"') {
                    return false;
                }
                field.push_back(text[at++]);
            }
        }
        if (at < text.size() && text[at] == ',') {
            ++at;
            continue;
        }
        return SkipLineEnd(text, at);
    }
}

}  // namespace teebasket::csv
