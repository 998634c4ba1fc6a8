#include "legacy/legacy_check.h"

#include <string>
#include <vector>

#include "test_support.h"

namespace {

enum class Template { Decoder, Encoder, Metadata };

struct Case {
    Template kind;
    const char *text;
    int problems;
    const char *messages; // as on stderr, one per line, in order
};

int check(Template kind, const char *text)
{
    log_input messages("old.xml", "\n");
    switch (kind) {
    case Template::Decoder:
        return legacy_check_decoder_command(text, &messages, 7);
    case Template::Encoder:
        return legacy_check_encoder_command(text, &messages, 7);
    case Template::Metadata:
        return legacy_check_metadata_format(text, &messages, 7);
    }
    return -1;
}

#define E "old.xml[7]: Error: "

const Case kCases[] = {
    // decoder command: @s@ forbidden, @T@ exactly once, others at most once
    {Template::Decoder, "dec @T@", 0, ""},
    {Template::Decoder, "dec @T@ @M@ @a@ @t@", 0, ""},
    {Template::Decoder, "", 1, E "The decoder command requires the '@T@' track placeholder\n"},
    {Template::Decoder, "dec", 1, E "The decoder command requires the '@T@' track placeholder\n"},
    {Template::Decoder, "dec @T@ @T@", 2,
     E "Multiple `@T@' placeholders in decoder command\n" E
       "The decoder command requires the '@T@' track placeholder\n"},
    {Template::Decoder, "dec @s@", 2,
     E "`@s@' placeholder not allowed in decoder command\n" E
       "The decoder command requires the '@T@' track placeholder\n"},
    {Template::Decoder, "@T@@T@", 2,
     E "Multiple `@T@' placeholders in decoder command\n" E
       "The decoder command requires the '@T@' track placeholder\n"},
    // overlapping tokens share an at-sign and count once
    {Template::Decoder, "@T@T@", 0, ""},
    {Template::Decoder, "@T@ @M@@M@ @a@@a@ @t@ @t@ @s@", 4,
     E "`@s@' placeholder not allowed in decoder command\n" E
       "Multiple `@M@' placeholders in decoder command\n" E
       "Multiple `@a@' placeholders in decoder command\n" E
       "Multiple `@t@' placeholders in decoder command\n"},
    // tokens are case-sensitive: @t@ is not the track
    {Template::Decoder, "dec @t@", 1, E "The decoder command requires the '@T@' track placeholder\n"},

    // encoder command: @T@ and @s@ forbidden, others at most once, none required
    {Template::Encoder, "", 0, ""},
    {Template::Encoder, "enc @M@ @a@ @t@", 0, ""},
    {Template::Encoder, "enc @T@", 1, E "`@T@' placeholder not allowed in encoder command\n"},
    {Template::Encoder, "enc @T@ @T@", 1, E "`@T@' placeholder not allowed in encoder command\n"},
    {Template::Encoder, "@s@ @T@ @M@ @M@ @a@ @a@ @t@ @t@", 5,
     E "`@T@' placeholder not allowed in encoder command\n" E
       "`@s@' placeholder not allowed in encoder command\n" E
       "Multiple `@M@' placeholders in encoder command\n" E
       "Multiple `@a@' placeholders in encoder command\n" E
       "Multiple `@t@' placeholders in encoder command\n"},

    // metadata format: @M@ forbidden, others at most once
    {Template::Metadata, "", 0, ""},
    {Template::Metadata, "@a@ - @t@ (@T@, @s@)", 0, ""},
    {Template::Metadata, "@M@ @T@ @T@", 2,
     E "`@M@' placeholder not allowed in <metadata_format>\n" E
       "Multiple `@T@' placeholders in <metadata_format>\n"},
    {Template::Metadata, "@s@@s@ @a@ @a@ @t@@t@", 3,
     E "Multiple `@s@' placeholders in <metadata_format>\n" E
       "Multiple `@a@' placeholders in <metadata_format>\n" E
       "Multiple `@t@' placeholders in <metadata_format>\n"},
};

TEST(LegacyCheck, TemplatesReportEveryBrokenRuleInOrder)
{
    for (const Case &c : kCases) {
        int problems = -1;
        std::string out = test_support::capture_log([&] { problems = check(c.kind, c.text); });
        EXPECT_EQ(problems, c.problems) << "template: " << c.text;
        EXPECT_EQ(out, c.messages) << "template: " << c.text;
    }
}

TEST(LegacyCheck, MessagesCarryPathAndLineAsGiven)
{
    log_input messages("conf/my %s.xml", "\n");
    std::string out = test_support::capture_log(
        [&] { EXPECT_EQ(legacy_check_encoder_command("x @T@", &messages, 123456L), 1); });
    EXPECT_EQ(out, "conf/my %s.xml[123456]: Error: `@T@' placeholder not allowed in encoder "
                   "command\n");
}

} // namespace
