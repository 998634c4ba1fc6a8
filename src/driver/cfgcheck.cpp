#include "driver/cfgcheck.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

#include "cfg/cfg.h"
#include "cfg/cfg_fields.h"
#include "cfg/cfg_file.h"
#include "cfg/cfg_list.h"
#include "cfg/cfg_read_facts.h"
#include "cfg/cfg_reader.h"
#include "cfg/cfg_rules.h"
#include "cfg/cfg_writer.h"
#include "driver/cfgcheck_hint.h"
#include "driver/program.h"
#include "legacy/legacy_format.h"
#include "support/alloc.h"
#include "support/fd.h"
#include "support/log.h"
#include "support/log_input.h"
#include "support/util.h"

namespace {

constexpr const char kAllocModule[] = "cfgcheck";

constexpr program_command_line kCommandLine = {
    .product = "onyxcast-cfgcheck",
    .options = "hn:pqVvx",
    .synopsis = "[-Vhpqvx] [-n name] file ...",
    .option_help = "    -h       print this help and exit\n"
                   "    -n name  call standard input name in messages (default: -)\n"
                   "    -p       print each file that checks out as the client reads it\n"
                   "    -q       show only errors and warnings\n"
                   "    -V       print the version and exit\n"
                   "    -v       show more messages (repeat for more)\n"
                   "    -x       with -p, print question marks in place of every password\n",
    .notes = "A file named - is standard input, read to its end.\n",
};

// Every file is opened once, and what is checked is what was opened:
// without waiting for a writer (a FIFO would hold the open forever), and
// never as the process's terminal.
constexpr int kOpenFlags = O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;

// The most the checker takes from standard input. A configuration is a few
// kilobytes, the largest ever measured some megabytes; an input without end
// (a command that never stops writing) is refused here instead of growing
// the process.
constexpr size_t kStdinMax = 64 * 1024 * 1024;

// The strict part of the check: the client passes over what it does not
// know, and a file that holds any such thing will not do what its writer
// meant. Each element or entity reference the reader passes over is an
// error, and so is a document that configures no stream. A document of
// version 0 is one error that says how to convert it, not a list of every
// element of it. Where the checker can tell what was meant, a hint line
// follows the problem's message.
class document_check {
  public:
    document_check(log_input &messages, const cfg_read_facts &facts)
        : messages_(messages), facts_(facts)
    {
        for (const cfg_document_entry &e : facts_.entries) {
            if (std::strcmp(e.section, kCfgStreams.section) == 0)
                streams_++;
        }
    }

    // After the read, which the channel held: each problem of what was
    // passed over in place of the reader's notice, and each hint right
    // after the reader's refusal, in document order; then what was held
    // back until it was known whether the document is one of version 0.
    void report_read()
    {
        const auto &passed = facts_.passed_over;
        const auto &refusals = facts_.refusals;
        size_t p = 0;
        size_t r = 0;
        while (p < passed.size() || r < refusals.size()) {
            // A refusal's place is right after its message, which nothing
            // passed over can share with it but what follows it.
            if (r < refusals.size() &&
                (p == passed.size() || refusals[r].place <= passed[p].place)) {
                messages_.release(refusals[r].place);
                refused(refusals[r++]);
            } else {
                messages_.release(passed[p].place);
                passed_over(passed[p++]);
            }
        }
        messages_.release();
        if (version0_) {
            problem("%s: version 0.x configuration: convert it with onyxcast-cfgmigrate -0 %s",
                    messages_.path(), messages_.path());
            held_.clear();
        } else {
            for (const cfg_document_passed_over *what : held_)
                report(*what);
            held_.clear();
        }
    }

    // Last, as it concerns the whole file.
    void finish()
    {
        if (facts_.root_read && !version0_ && streams_ == 0) {
            if (problem("%s: no stream: the client would have nothing to send",
                        messages_.path()))
                hint_line(0, "add a <streams> section with a <stream>");
        }
    }

    // Errors this check gave; the reader's own refusals fail the read.
    unsigned int problems() const { return problems_; }

  private:
    // An entry's name as the checker compares and shows it: at most one
    // byte more than a message shows of a value, "default" for none.
    static std::string name_of(const cfg_document_entry &e)
    {
        const char *name = e.name != nullptr ? e.name : kCfgDefaultEntryName;
        return std::string(name, strnlen(name, log_input::kValueMax + 1));
    }

    // Whether the refused setting is its entry's name.
    static bool is_name(const cfg_document_refusal &what)
    {
        for (const cfg_section_info &kind : kCfgEntryKinds) {
            if (std::strcmp(kind.entry, what.entry) == 0) {
                const cfg_field_info *field = kind.field(what.field);
                return field != nullptr && field->type == cfg_field_type::name;
            }
        }
        return false;
    }

    // The first entry element of the section that ends up with the name,
    // compared as the lists compare names; null for none.
    const cfg_document_entry *first_named(const char *section, const char *name) const
    {
        const std::string wanted = cfg_list::fold_name(name);
        for (const cfg_document_entry &e : facts_.entries) {
            if (std::strcmp(e.section, section) == 0 && cfg_rules_entry_key(e) == wanted)
                return &e;
        }
        return nullptr;
    }

    // A passed-over element at a root without sections is held until the
    // read ends: only then is it known whether the document is one of
    // version 0.
    void passed_over(const cfg_document_passed_over &what)
    {
        if (facts_.sections == 0 && what.kind != cfg_passed_over_kind::element_in_text) {
            hold(what);
            return;
        }
        report(what);
    }

    void hold(const cfg_document_passed_over &what)
    {
        // Only the root's children are passed over here.
        if (what.kind == cfg_passed_over_kind::unknown_element &&
            !legacy_format_places(what.element).empty())
            version0_ = true;
        held_.push_back(&what);
    }

    void report(const cfg_document_passed_over &what)
    {
        const char *path = messages_.path();
        bool shown = false;
        switch (what.kind) {
        case cfg_passed_over_kind::unknown_element:
            shown = problem("%s[%ld]: passed over <%s> in <%s>: unknown element", path,
                            what.line, what.element, what.parent);
            break;
        case cfg_passed_over_kind::element_in_text:
            shown = problem("%s[%ld]: passed over <%s> in <%s>: an element in a setting's text",
                            path, what.line, what.element, what.parent);
            break;
        case cfg_passed_over_kind::entity_markup:
            if (what.element != nullptr)
                shown = problem("%s[%ld]: passed over <%s> in <%s>: brought in by entity '%s'",
                                path, what.line, what.element, what.parent, what.entity);
            else
                shown = problem("%s[%ld]: passed over entity '%s' in <%s>: never expanded", path,
                                what.line, what.entity, what.parent);
            break;
        }
        // A hint is worth its cost only where its problem is shown; a file
        // can hold a million misspelt elements.
        if (shown)
            hint_line(what.line, cfgcheck_hint_passed_over(what));
    }

    void refused(const cfg_document_refusal &what)
    {
        // Past the channel's limit the reader's message was only counted,
        // and so would the hint be.
        if (messages_.held() > 0)
            return;
        if (what.kind == cfg_refusal_kind::stray_ampersand) {
            hint_line(what.line, "write every '&' of a text as &amp;");
            return;
        }
        if (std::string hint = cfgcheck_hint_number(what); !hint.empty()) {
            hint_line(what.line, hint);
            return;
        }
        // A name another entry of the section already has.
        if (what.entry != nullptr && what.value != nullptr && is_name(what)) {
            const cfg_document_entry *first = first_named(what.section, what.value);
            if (first != nullptr && first->line < what.entry_line) {
                char text[64];
                std::snprintf(text, sizeof text, ") at line %ld", first->line);
                hint_line(what.line, "the name is taken by " + std::string(what.entry) + " (" +
                                         name_of(*first) + text);
            }
        }
    }

    // An error of the checker's own; true when it was shown, not only
    // counted.
    bool problem(const char *format, ...) LOG_PRINTF(2, 3)
    {
        va_list ap;
        va_start(ap, format);
        const bool shown = messages_.message(LOG_LEVEL_ERROR, format, ap) > 0;
        va_end(ap);
        problems_++;
        return shown;
    }

    // "PATH[LINE]: hint: TEXT" right after its problem, or "PATH: hint:
    // TEXT" for a problem of the whole file (line 0). It goes as an error,
    // so that whatever shows the problem shows the hint.
    void hint_line(long line, const std::string &text)
    {
        if (text.empty())
            return;
        if (line > 0)
            messages_.error("%s[%ld]: hint: %s", messages_.path(), line, text.c_str());
        else
            messages_.error("%s: hint: %s", messages_.path(), text.c_str());
    }

    log_input &messages_;
    const cfg_read_facts &facts_;
    unsigned int streams_ = 0;
    bool version0_ = false;
    std::vector<const cfg_document_passed_over *> held_;
    unsigned int problems_ = 0;
};

// A path as a shell word for a command to paste: as it is when it can be,
// else quoted; one that starts with "-" would be taken for an option.
std::string shell_word(const char *path)
{
    static constexpr char kPlain[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                     "0123456789/._+,:@%=-";
    std::string word = path[0] == '-' ? std::string("./") + path : std::string(path);
    if (!word.empty() && word.find_first_not_of(kPlain) == std::string::npos)
        return word;
    char *quoted = util_quote_for_shell(word.c_str(), word.size() * 4 + 3);
    word = quoted;
    xfree(quoted, kAllocModule);
    return word;
}

// What the checker's rule says beyond the client's, after the client's own
// words: a warning for a file its group may write to, and with anything
// said, the command that sets a mode the client takes without a word.
void say_mode(log_input &messages, const char *path, const cfg_mode_verdict &verdict)
{
    if (verdict.group_writeable)
        messages.warning("%s: group writeable", messages.path());
    if (verdict.chmod != 0)
        messages.notice("%s: hint: chmod %o %s", messages.path(), verdict.chmod,
                        shell_word(path).c_str());
}

// One check, whatever the document is read from: `read` reads it into the
// emptied active configuration, filling the facts, and says whether the
// read succeeded.
template <typename Read> int check(const char *name, Read read)
{
    // Nothing of an earlier file may satisfy a reference of this one.
    cfg_clear(cfg_active());

    // The reader's messages and the checker's own share one channel, and
    // so one limit and one set of closing lines; the verdict comes after.
    log_input messages(name, "");
    // The checker's lines go among the reader's, each in its place: the
    // reader's wait until the checker knows what the read found.
    messages.hold();
    cfg_read_facts facts;
    const bool read_ok = read(messages, facts);
    document_check check(messages, facts);
    check.report_read();
    const unsigned int errors = messages.errors();
    for (const cfg_merge_finding &m : cfg_rules_merges(facts))
        messages.error("%s[%ld]: %s: %s (default) merges into %s (%s) at line %ld",
                       messages.path(), m.line, m.section, m.entry, m.entry, m.into,
                       m.into_line);
    // References are judged only on a complete model: after a refusal,
    // whole sections may be missing from it.
    if (read_ok) {
        for (const cfg_reference_finding &r : cfg_rules_references(facts))
            messages.error("%s[%ld]: %s (%s): %s: %s not found", messages.path(), r.line,
                           r.entry, r.entry_name, r.field, r.name);
    }
    check.finish();
    const bool problems = check.problems() != 0 || messages.errors() != errors;
    messages.finish();
    if (!read_ok || problems) {
        messages.summary(LOG_LEVEL_ERROR, "%s: configuration refused", messages.path());
        return -1;
    }
    messages.summary(LOG_LEVEL_NOTICE, "%s: configuration accepted", messages.path());
    return 0;
}

} // namespace

int cfgcheck_file(const char *path)
{
    if (path == nullptr)
        path = "";
    return check(path, [path](log_input &messages, cfg_read_facts &facts) {
        const cfg_file file = cfg_file_open(path, kOpenFlags);
        if (!file.examined) {
            messages.error("%s: %s", messages.path(), std::strerror(file.error));
            return false;
        }
        // The client reads a regular file; anything else could wait for a
        // writer or never end, and is not what the client will be given.
        if (!file.regular()) {
            messages.error("%s: not a regular file (%s)", messages.path(),
                           fd_type_name(file.mode));
            return false;
        }
        const cfg_mode_verdict verdict = cfg_mode_checker_rule(file.mode);
        const bool mode_ok = cfg_mode_say(path, verdict) == 0;
        say_mode(messages, path, verdict);
        if (!mode_ok)
            return false;
        return cfg_document_read_file(file, path, &facts) == 0;
    });
}

int cfgcheck_stdin(const char *name)
{
    if (name == nullptr)
        name = "-";
    return check(name, [name](log_input &messages, cfg_read_facts &facts) {
        // No mode to check: the bytes are whatever the command before gave.
        std::string bytes;
        if (fd_read_all(STDIN_FILENO, kStdinMax, &bytes) != 0) {
            if (errno == EFBIG)
                messages.error("%s: longer than %zu bytes", messages.path(), kStdinMax);
            else
                messages.error("%s: %s", messages.path(), std::strerror(errno));
            return false;
        }
        return cfg_document_read_memory(bytes.data(), bytes.size(), name, &facts) == 0;
    });
}

int cfgcheck_main(int argc, char **argv)
{
    // A closed standard output needs no care of its own here: -p then
    // fails to write, as it would on the closed descriptor. The checker
    // only looks, so its messages are for whoever runs it and go to
    // standard error alone.
    const char *argv0 = argc > 0 ? argv[0] : nullptr;
    const char *name;
    if (program_start(argv0, program_log::standard_error, &name, nullptr) < 0)
        return 1;

    bool print = false;
    bool hide_secrets = false;
    bool quiet = false;
    int verbosity = 1; // notices are what a check is for
    const char *stdin_name = "-";
    for (int ch, status; (ch = program_getopt(kCommandLine, argc, argv, &status)) != -1;) {
        switch (ch) {
        case PROGRAM_GETOPT_END_RUN:
            return status;
        case 'n':
            stdin_name = optarg;
            break;
        case 'p':
            print = true;
            break;
        case 'q':
            quiet = true;
            break;
        case 'v':
            verbosity++;
            break;
        // Says how -p prints; without it nothing is printed that could
        // show a secret, so it changes nothing, and an alias may hold it.
        case 'x':
            hide_secrets = true;
            break;
        }
    }
    if (optind >= argc) {
        std::fputs("at least one file must be provided\n", stderr);
        program_usage(kCommandLine);
        return 2;
    }
    log_set_verbosity(quiet ? 0 : verbosity);

    cfg_set_program_name(name, nullptr);

    int status = 0;
    for (int i = optind; i < argc; i++) {
        const bool from_stdin = std::strcmp(argv[i], "-") == 0;
        if ((from_stdin ? cfgcheck_stdin(stdin_name) : cfgcheck_file(argv[i])) != 0) {
            status = 1;
            continue;
        }
        if (print) {
            std::fputs(kCfgDocumentDeclaration, stdout);
            if (hide_secrets)
                cfg_document_write_redacted(stdout);
            else
                cfg_document_write(stdout);
        }
    }
    if (print && util_finish_output(stdout, "standard output") != 0)
        status = 1;

    program_end();
    return status;
}
