// Placeholder rules of the model's command and format templates. Tokens are
// three bytes matched exactly ("@T@" and "@t@" differ). A second occurrence
// counts only when it starts at or after the end of the first, so two tokens
// sharing one at-sign ("@T@T@") are a single occurrence.
#pragma once

#include <cstring>
#include <span>

inline bool cfg_placeholder_occurs(const char *text, const char *token)
{
    return std::strstr(text, token) != nullptr;
}

inline bool cfg_placeholder_occurs_twice(const char *text, const char *token)
{
    const char *first = std::strstr(text, token);
    return first != nullptr && std::strstr(first + std::strlen(token), token) != nullptr;
}

struct cfg_placeholder_rule {
    enum kind { prohibited, at_most_once, required };
    kind rule;
    const char *token;
    const char *reason;
};

// The reason text of the first rule, in table order, that `text` breaks;
// null when it keeps them all.
inline const char *cfg_placeholder_check(const char *text,
                                         std::span<const cfg_placeholder_rule> rules)
{
    for (const cfg_placeholder_rule &r : rules) {
        bool broken = false;
        switch (r.rule) {
        case cfg_placeholder_rule::prohibited:
            broken = cfg_placeholder_occurs(text, r.token);
            break;
        case cfg_placeholder_rule::at_most_once:
            broken = cfg_placeholder_occurs_twice(text, r.token);
            break;
        case cfg_placeholder_rule::required:
            broken = !cfg_placeholder_occurs(text, r.token);
            break;
        }
        if (broken)
            return r.reason;
    }
    return nullptr;
}
