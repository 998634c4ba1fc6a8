#include "legacy/legacy_check.h"

#include <span>

#include "cfg/cfg_placeholder.h"
#include "support/log_input.h"

namespace {

// The version-0 templates obey the rules of the model's templates; what
// differs is the wording, and that every rule broken is reported, not only
// the first.
int run(std::span<const cfg_placeholder_rule> rules, const char *text, log_input *messages,
        long line, const char *what)
{
    const char *path = messages->path();
    return cfg_placeholder_check(
        text, rules, [&](const char *token, cfg_placeholder_rule::kind broken) {
            switch (broken) {
            case cfg_placeholder_rule::prohibited:
                messages->error("%s[%ld]: Error: `%s' placeholder not allowed in %s\n", path, line,
                                token, what);
                break;
            case cfg_placeholder_rule::at_most_once:
                messages->error("%s[%ld]: Error: Multiple `%s' placeholders in %s\n", path, line,
                                token, what);
                break;
            case cfg_placeholder_rule::exactly_once:
                messages->error("%s[%ld]: Error: The %s requires the '%s' track placeholder\n",
                                path, line, what, token);
                break;
            }
            return true;
        });
}

} // namespace

int legacy_check_decoder_command(const char *command, log_input *messages, long line)
{
    return run(cfg_placeholder_decoder_rules, command, messages, line, "decoder command");
}

int legacy_check_encoder_command(const char *command, log_input *messages, long line)
{
    return run(cfg_placeholder_encoder_rules, command, messages, line, "encoder command");
}

int legacy_check_metadata_format(const char *format, log_input *messages, long line)
{
    return run(cfg_placeholder_format_rules, format, messages, line, "<metadata_format>");
}
