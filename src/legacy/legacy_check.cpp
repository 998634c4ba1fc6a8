#include "legacy/legacy_check.h"

#include <cstring>
#include <span>

#include "support/log_input.h"

namespace {

enum class Rule { NotPresent, NotRepeated, ExactlyOnce };

struct Row {
    const char *token;
    Rule rule;
};

constexpr size_t kTokenLen = 3;

bool present(const char *text, const char *token)
{
    return std::strstr(text, token) != nullptr;
}

// A second occurrence counts only when it starts at or after the end of the
// first, so "@T@T@" holds one "@T@", not two.
bool repeated(const char *text, const char *token)
{
    const char *first = std::strstr(text, token);
    return first != nullptr && std::strstr(first + kTokenLen, token) != nullptr;
}

int run(std::span<const Row> rows, const char *text, log_input *messages, long line,
        const char *what)
{
    const char *path = messages->path();
    int problems = 0;
    for (const Row &row : rows) {
        switch (row.rule) {
        case Rule::NotPresent:
            if (present(text, row.token)) {
                messages->error("%s[%ld]: Error: `%s' placeholder not allowed in %s\n", path, line,
                                row.token, what);
                problems++;
            }
            break;
        case Rule::NotRepeated:
            if (repeated(text, row.token)) {
                messages->error("%s[%ld]: Error: Multiple `%s' placeholders in %s\n", path, line,
                                row.token, what);
                problems++;
            }
            break;
        case Rule::ExactlyOnce:
            if (!present(text, row.token) || repeated(text, row.token)) {
                messages->error("%s[%ld]: Error: The %s requires the '%s' track placeholder\n",
                                path, line, what, row.token);
                problems++;
            }
            break;
        }
    }
    return problems;
}

constexpr Row kDecoderRows[] = {
    {"@s@", Rule::NotPresent},  {"@T@", Rule::NotRepeated}, {"@M@", Rule::NotRepeated},
    {"@a@", Rule::NotRepeated}, {"@t@", Rule::NotRepeated}, {"@T@", Rule::ExactlyOnce},
};
constexpr Row kEncoderRows[] = {
    {"@T@", Rule::NotPresent},  {"@s@", Rule::NotPresent},  {"@M@", Rule::NotRepeated},
    {"@a@", Rule::NotRepeated}, {"@t@", Rule::NotRepeated},
};
constexpr Row kMetadataRows[] = {
    {"@M@", Rule::NotPresent},  {"@T@", Rule::NotRepeated}, {"@s@", Rule::NotRepeated},
    {"@a@", Rule::NotRepeated}, {"@t@", Rule::NotRepeated},
};

} // namespace

int legacy_check_decoder_command(const char *command, log_input *messages, long line)
{
    return run(kDecoderRows, command, messages, line, "decoder command");
}

int legacy_check_encoder_command(const char *command, log_input *messages, long line)
{
    return run(kEncoderRows, command, messages, line, "encoder command");
}

int legacy_check_metadata_format(const char *format, log_input *messages, long line)
{
    return run(kMetadataRows, format, messages, line, "<metadata_format>");
}
