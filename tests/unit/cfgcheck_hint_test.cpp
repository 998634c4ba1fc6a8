// The checker's hints: which name a misspelt one meant, and what an element
// the reader passes over should have been.
#include "driver/cfgcheck_hint.h"

#include <string>

#include <gtest/gtest.h>

namespace {

constexpr const char *kKnown[] = {"ca_dir", "ca_file", "tls", "port", "hostname",
                                  "reconnect_attempts", "user"};

struct SpellingCase {
    const char *name;
    const char *meant; // null: no hint
};

const SpellingCase kSpellingCases[] = {
    {"reconect_attempts", "reconnect_attempts"}, // a letter left out
    {"reconnect-attempts", "reconnect_attempts"}, // '-' for '_' costs nothing
    {"Reconect-Attempts", "reconnect_attempts"},  // nor does letter case
    {"hsotname", "hostname"},                     // two neighbours swapped
    {"hostnaem", "hostname"},
    {"hostnme", "hostname"},
    {"ca_fil", "ca_file"},
    {"tsl", "tls"},   // a swap is one edit, within the one a short name gets
    {"prt", "port"},  // so is a letter left out
    {"prot", "port"},
    {"pr", nullptr},  // two edits are too many for a short name
    {"ursr", nullptr},
    {"ca_dr", "ca_dir"},
    {"ca_di", "ca_dir"},
    {"hostnamexyz", nullptr}, // three edits
    {"protocol", nullptr},
    {"", nullptr},
    // Longer than any known name can be misspelt as: not compared at all.
    {"reconnect_attempts_reconnect_attempts", nullptr},
};

TEST(CfgCheckHint, SpellingProposesTheOneCloseName)
{
    for (const SpellingCase &c : kSpellingCases) {
        const char *meant = cfgcheck_hint_spelling(c.name, kKnown);
        EXPECT_STREQ(meant, c.meant) << c.name;
    }
}

TEST(CfgCheckHint, SpellingProposesNothingBetweenTwoEquallyCloseNames)
{
    constexpr const char *known[] = {"stream_url", "stream_uri"};
    EXPECT_EQ(cfgcheck_hint_spelling("stream_ur", known), nullptr);
    EXPECT_STREQ(cfgcheck_hint_spelling("stream_urll", known), "stream_url");
}

// A name of a megabyte costs no more than a short one: it is not compared.
TEST(CfgCheckHint, SpellingLooksAtNoLongName)
{
    const std::string name(1 << 20, 'a');
    EXPECT_EQ(cfgcheck_hint_spelling(name.c_str(), kKnown), nullptr);
}

struct PassedOverCase {
    const char *element;
    const char *parent;
    const char *hint;
};

const PassedOverCase kPassedOverCases[] = {
    // Misspelt names, among the names of the element's place.
    {"metdata", "onyxcast", "did you mean <metadata>?"},
    {"sever", "SERVERS", "did you mean <server>?"},
    {"por", "server", "did you mean <port>?"},
    {"refresh-interval", "metadata", "did you mean <refresh_interval>?"},
    {"fileext", "decoder", "did you mean <file_ext>?"},
    // Entries and settings out of their places.
    {"server", "onyxcast", "write <server> inside <servers>"},
    {"Stream", "servers", "write <Stream> inside <streams>"},
    {"stream_name", "server", "write <stream_name> inside <streams><stream>"},
    {"no_updates", "stream", "write <no_updates> inside <metadata>"},
    {"program", "server", ""}, // a setting of three places: none is meant more
    // Settings of version 0, where the conversion puts them.
    {"svrinfoname", "onyxcast", "version 1 has <svrinfoname> as <streams><stream><stream_name>"},
    {"svrinfoname", "stream", "version 1 has <svrinfoname> as <streams><stream><stream_name>"},
    {"sourcepassword", "onyxcast", "version 1 has <sourcepassword> as <servers><server><password>"},
    {"metadata_progname", "onyxcast", "version 1 has <metadata_progname> as <metadata><program>"},
    {"url", "onyxcast",
     "version 1 has <url> as <servers><server><hostname>, <servers><server><port> and "
     "<streams><stream><mountpoint>"},
    {"reconnect_tries", "onyxcast",
     "version 1 has <reconnect_tries> as <servers><server><reconnect_attempts>"},
    {"SVRINFONAME", "onyxcast", ""}, // version 0 knows names in small letters only
    {"comment", "onyxcast", ""},
};

TEST(CfgCheckHint, PassedOverElementsGetTheHintOfTheirPlace)
{
    for (const PassedOverCase &c : kPassedOverCases) {
        const cfg_document_passed_over what{
            .kind = cfg_passed_over_kind::unknown_element,
            .line = 1,
            .element = c.element,
            .parent = c.parent,
            .entity = nullptr,
        };
        EXPECT_EQ(cfgcheck_hint_passed_over(what), c.hint) << c.element << " in " << c.parent;
    }
}

TEST(CfgCheckHint, NumbersNameTheRangeOfTheirField)
{
    cfg_document_refusal what{.kind = cfg_refusal_kind::setting, .line = 1};
    what.section = "servers";
    what.entry = "server";
    what.field = "port";
    EXPECT_EQ(cfgcheck_hint_number(what), "<port> takes a whole number from 1 to 65535");
    what.field = "hostname";
    EXPECT_EQ(cfgcheck_hint_number(what), "");
    what.section = "metadata";
    what.entry = nullptr;
    what.field = "refresh_interval";
    EXPECT_EQ(cfgcheck_hint_number(what),
              "<refresh_interval> takes a whole number from -2147483648 to 2147483647");
}

} // namespace
