// What the conversion says about the settings it refuses: never a
// password, wherever in the version-0 file it stands.
#include <string>

#include "cfg/cfg.h"
#include "driver/cfgmigrate_convert.h"
#include "legacy/legacy_config.h"
#include "test_support.h"

namespace {

using test_support::capture_log;
using test_support::TempFile;

// Reads and converts `v0` (the body of <onyxcast>) and returns every
// message of the run.
std::string migrate(const std::string &v0)
{
    TempFile file("<onyxcast>" + v0 + "<filename>f</filename><format>vorbis</format></onyxcast>",
                  "old.xml");
    return capture_log(
        [&] {
            cfg_init();
            if (legacy_config_read(file.c_path()) != 0) {
                cfgmigrate_convert(legacy_config_get(), "old.xml");
                legacy_config_free(legacy_config_get());
            }
            cfg_exit();
        },
        3);
}

// User information in the URL, whatever it holds, fails the conversion
// without a word of it; an '@' in the mountpoint alone is none.
TEST(CfgmigrateConvert, NoMessageShowsAPassword)
{
    const std::string long_name(2000, 'u'); // longer than any host name
    const std::string userinfo =
        "old.xml: Invalid <url>: User information before the host (write "
        "http://host:port/mountpoint, the user in <sourceuser> and the password in "
        "<sourcepassword>)";
    struct Case {
        std::string v0;
        std::string shown; // a line the run must print
    };
    const Case cases[] = {
        {"<url>http://h:8000/x</url><sourcepassword>s3cret" + std::string(300, 'p') +
             "</sourcepassword>",
         "old.xml: <sourcepassword>: too long: (hidden)"},
        {"<url>http://user:s3cret@h:8000/x</url><sourcepassword>p</sourcepassword>", userinfo},
        {"<url>http://user:pw:s3cret@h:80x/x</url><sourcepassword>p</sourcepassword>", userinfo},
        {"<url>http://" + long_name + ":s3cret@h:8000/x</url><sourcepassword>p</sourcepassword>",
         userinfo},
        {"<url>http://s3cret@h:99999/x</url><sourcepassword>p</sourcepassword>", userinfo},
        {"<url>http://s3cret@h:8000/x</url><sourcepassword>p</sourcepassword>", userinfo},
        // '/', '@' and ':' in a password: the part after the last '@' reads
        // as host and port.
        {"<url>http://user:s3cret/x@y:z@h:8000/m</url><sourcepassword>p</sourcepassword>",
         userinfo},
        // An '@' in the path is no user information.
        {"<url>http://h:8000/x@y</url><sourcepassword>" + std::string(300, 'q') +
             "</sourcepassword>",
         "old.xml: <sourcepassword>: too long: (hidden)"},
    };
    for (const Case &c : cases) {
        const std::string out = migrate(c.v0);
        EXPECT_NE(out.find(c.shown + "\n"), std::string::npos) << c.v0 << "\n" << out;
        EXPECT_EQ(out.find("s3cret"), std::string::npos) << out;
        EXPECT_EQ(out.find("ppp"), std::string::npos) << out;
        EXPECT_EQ(out.find("qqq"), std::string::npos) << out;
    }
}

} // namespace
