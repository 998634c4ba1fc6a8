#include "cfg/cfg_placeholder.h"

#include <cstddef>
#include <iterator>
#include <string_view>

namespace {

constexpr std::string_view kTokens[] = {"@T@", "@M@", "@s@", "@a@", "@t@"};

enum wording { prohibited_word, duplicate_word, missing_word };
constexpr std::string_view kWordings[] = {
    "prohibited placeholder ",
    "duplicate placeholder ",
    "missing placeholder ",
};

// Every reason text is a wording and a token. A reason is handed out as a
// static text, so they are all made once, at compile time.
constexpr size_t kReasonSize = sizeof "prohibited placeholder @T@";

struct reason_texts {
    char text[std::size(kWordings)][std::size(kTokens)][kReasonSize];
};

constexpr reason_texts make_reasons()
{
    reason_texts r{};
    for (size_t w = 0; w < std::size(kWordings); w++) {
        for (size_t t = 0; t < std::size(kTokens); t++) {
            char *out = r.text[w][t];
            for (char c : kWordings[w])
                *out++ = c;
            for (char c : kTokens[t])
                *out++ = c;
        }
    }
    return r;
}

constexpr reason_texts kReasons = make_reasons();

constexpr size_t token_index(std::string_view token)
{
    size_t t = 0;
    while (t < std::size(kTokens) && kTokens[t] != token)
        t++;
    return t;
}

constexpr bool tokens_known(std::span<const cfg_placeholder_rule> rules)
{
    for (const cfg_placeholder_rule &r : rules) {
        if (token_index(r.token) == std::size(kTokens))
            return false;
    }
    return true;
}

static_assert(tokens_known(cfg_placeholder_decoder_rules) &&
                  tokens_known(cfg_placeholder_encoder_rules) &&
                  tokens_known(cfg_placeholder_format_rules),
              "a rule names a token without reason texts");

wording word_for(const char *text, const char *token, cfg_placeholder_rule::kind broken)
{
    switch (broken) {
    case cfg_placeholder_rule::prohibited:
        return prohibited_word;
    case cfg_placeholder_rule::at_most_once:
        return duplicate_word;
    case cfg_placeholder_rule::exactly_once:
        break;
    }
    return cfg_placeholder_occurs(text, token) ? duplicate_word : missing_word;
}

} // namespace

const char *cfg_placeholder_fault(const char *text, std::span<const cfg_placeholder_rule> rules)
{
    const char *reason = nullptr;
    cfg_placeholder_check(text, rules, [&](const char *token, cfg_placeholder_rule::kind broken) {
        const size_t t = token_index(token);
        if (t < std::size(kTokens))
            reason = kReasons.text[word_for(text, token, broken)][t];
        return false;
    });
    return reason;
}
