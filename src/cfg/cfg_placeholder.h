// Placeholder rules of the command and format templates: which tokens a
// text may not hold, which it may hold at most once, which it needs exactly
// once. There is one rule set per kind of template; the model's setters and
// the version-0 checks both walk it and word what breaks their own way.
//
// Tokens are three bytes matched exactly ("@T@" and "@t@" differ). A second
// occurrence counts only when it starts at or after the end of the first, so
// two tokens sharing one at-sign ("@T@T@") are a single occurrence.
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
    enum kind { prohibited, at_most_once, exactly_once };
    kind rule;
    const char *token;
};

inline bool cfg_placeholder_breaks(const char *text, const cfg_placeholder_rule &r)
{
    switch (r.rule) {
    case cfg_placeholder_rule::prohibited:
        return cfg_placeholder_occurs(text, r.token);
    case cfg_placeholder_rule::at_most_once:
        return cfg_placeholder_occurs_twice(text, r.token);
    case cfg_placeholder_rule::exactly_once:
        return !cfg_placeholder_occurs(text, r.token) ||
               cfg_placeholder_occurs_twice(text, r.token);
    }
    return false;
}

// The rules are tested in table order, and the order is part of each set:
// the model names only the first rule broken.

// A decoder command: the track placeholder exactly once, "@s@" has no
// meaning for a decoder. The track's at-most-once rule comes early so that
// a repeated track is named before the other tokens are.
inline constexpr cfg_placeholder_rule cfg_placeholder_decoder_rules[] = {
    {cfg_placeholder_rule::prohibited, "@s@"},   {cfg_placeholder_rule::at_most_once, "@T@"},
    {cfg_placeholder_rule::at_most_once, "@M@"}, {cfg_placeholder_rule::at_most_once, "@a@"},
    {cfg_placeholder_rule::at_most_once, "@t@"}, {cfg_placeholder_rule::exactly_once, "@T@"},
};

// An encoder command produces the stream: it never sees a track file
// ("@T@"), and "@s@" has no meaning for it.
inline constexpr cfg_placeholder_rule cfg_placeholder_encoder_rules[] = {
    {cfg_placeholder_rule::prohibited, "@T@"},   {cfg_placeholder_rule::prohibited, "@s@"},
    {cfg_placeholder_rule::at_most_once, "@M@"}, {cfg_placeholder_rule::at_most_once, "@a@"},
    {cfg_placeholder_rule::at_most_once, "@t@"},
};

// The metadata format text: "@M@" is what it produces, so it cannot appear
// in it.
inline constexpr cfg_placeholder_rule cfg_placeholder_format_rules[] = {
    {cfg_placeholder_rule::prohibited, "@M@"},   {cfg_placeholder_rule::at_most_once, "@T@"},
    {cfg_placeholder_rule::at_most_once, "@s@"}, {cfg_placeholder_rule::at_most_once, "@a@"},
    {cfg_placeholder_rule::at_most_once, "@t@"},
};

// Walks `text` against `rules` in table order and calls
// `report(token, kind)` for each rule it breaks, `kind` being the kind of
// that rule; the walk stops early when `report` returns false. Returns how
// many breaches were reported.
template <typename Report>
int cfg_placeholder_check(const char *text, std::span<const cfg_placeholder_rule> rules,
                          Report &&report)
{
    int breaches = 0;
    for (const cfg_placeholder_rule &r : rules) {
        if (!cfg_placeholder_breaks(text, r))
            continue;
        breaches++;
        if (!report(r.token, r.rule))
            break;
    }
    return breaches;
}

// The model's static reason text ("prohibited placeholder @s@", "duplicate
// placeholder @T@", "missing placeholder @T@") for the first rule `text`
// breaks; null when it keeps them all.
const char *cfg_placeholder_fault(const char *text, std::span<const cfg_placeholder_rule> rules);
