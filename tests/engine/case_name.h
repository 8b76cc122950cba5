#pragma once

// Names table-driven cases after their question: "is 429 retried?" becomes "Is429Retried".

#include <cctype>
#include <ostream>
#include <string>

namespace quorvane::testing {

inline std::string nameOfQuestion(const char* question) {
    std::string name;
    bool upper = true;
    for (const char* c = question; *c != '\0'; ++c) {
        auto letter = static_cast<unsigned char>(*c);
        if (!std::isalnum(letter)) {
            upper = true;
            continue;
        }
        name += upper ? static_cast<char>(std::toupper(letter)) : static_cast<char>(letter);
        upper = false;
    }
    return name;
}

struct QuestionName {
    template <typename Info>
    std::string operator()(const Info& info) const {
        return nameOfQuestion(info.param.question);
    }
};

// Shows the question, not the bytes, where GoogleTest prints a case.
template <typename Case>
requires requires(const Case& c) {
    c.question;
}
void PrintTo(const Case& c, std::ostream* out) {
    *out << c.question;
}

}  // namespace quorvane::testing
