#include "driver/cfgcheck.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <string>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <vector>

#include "cfg/cfg.h"
#include "cfg/cfg_reader.h"
#include "cfg/cfg_writer.h"
#include "driver/program.h"
#include "support/alloc.h"
#include "support/fd.h"
#include "support/log.h"
#include "support/log_input.h"
#include "support/util.h"

namespace {

constexpr const char kAllocModule[] = "cfgcheck";

constexpr const char kOptions[] = "hn:pqvx";

constexpr const char kSynopsis[] = "[-hpqvx] [-n name] file ...";
constexpr const char kOptionHelp[] =
    "    -h       print this help and exit\n"
    "    -n name  call standard input name in messages (default: -)\n"
    "    -p       print each file that checks out as the client reads it\n"
    "    -q       show only errors and warnings\n"
    "    -v       show more messages (repeat for more)\n"
    "    -x       with -p, print question marks in place of every password\n"
    "\n"
    "A file named - is standard input, read to its end.\n";

// Every file is opened once, and what is checked is what was opened:
// without waiting for a writer (a FIFO would hold the open forever), and
// never as the process's terminal.
constexpr int kOpenFlags = O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;

// The most the checker takes from standard input. A configuration is a few
// kilobytes, the largest ever measured some megabytes; an input without end
// (a command that never stops writing) is refused here instead of growing
// the process.
constexpr size_t kStdinMax = 64 * 1024 * 1024;

// Entry names are compared as the lists compare them: ASCII letters
// without regard to case, every other byte as it is.
std::string fold(const char *name)
{
    std::string folded(name);
    for (char &c : folded) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return folded;
}

// Every entry element starts from the entry named "default", which a
// "name" field then renames. An element without a name (or named
// "default") therefore hands its entry on to the next element of its
// kind: the later one overwrites its fields or renames it, and the entry
// the administrator wrote is gone. Such elements are held back until the
// element that settles the entry's name is seen, and all are reported in
// document order at the end.
class merge_check {
  public:
    void entry(const cfg_document_entry &e)
    {
        const bool unnamed = e.name == nullptr || strcasecmp(e.name, "default") == 0;
        kind &k = kind_of(e);
        if (unnamed) {
            k.unnamed_lines.push_back(e.line);
            return;
        }
        settle(k, e.name, e.line, k.unnamed_lines.size());
    }

    // The last unnamed element of a kind keeps the entry "default" for
    // itself; the ones before it merge into it.
    void report(log_input &messages)
    {
        for (kind &k : kinds_) {
            if (k.unnamed_lines.size() > 1)
                settle(k, "default", k.unnamed_lines.back(), k.unnamed_lines.size() - 1);
        }
        std::stable_sort(merges_.begin(), merges_.end(),
                         [](const merge &a, const merge &b) { return a.line < b.line; });
        for (const merge &m : merges_) {
            const target &t = targets_[m.into];
            messages.error("%s[%ld]: %s: %s (default) merges into %s (%s) at line %ld",
                           messages.path(), m.line, m.of->section, m.of->entry, m.of->entry,
                           t.name.c_str(), t.line);
        }
    }

  private:
    struct kind {
        const char *section;
        const char *entry;
        std::vector<long> unnamed_lines;
    };
    // The entry that unnamed elements end up in, named once however many
    // merge into it.
    struct target {
        std::string name;
        long line;
    };
    struct merge {
        long line;
        const kind *of;
        size_t into; // index into targets_
    };

    kind &kind_of(const cfg_document_entry &e)
    {
        for (kind &k : kinds_) {
            if (std::strcmp(k.section, e.section) == 0)
                return k;
        }
        return kinds_.emplace_back(kind{e.section, e.entry, {}});
    }

    void settle(kind &k, const char *into, long into_line, size_t count)
    {
        if (count == 0)
            return;
        targets_.push_back(target{into, into_line});
        for (size_t i = 0; i < count; i++)
            merges_.push_back(merge{k.unnamed_lines[i], &k, targets_.size() - 1});
        k.unnamed_lines.clear();
    }

    // Five kinds at most, and the merges point at them: no reallocation.
    std::deque<kind> kinds_;
    std::vector<target> targets_;
    std::vector<merge> merges_;
};

// What the checker learns from the document's entry elements.
struct document_facts {
    merge_check merges;
    // The line of the element that gave each stream its final name, so
    // that a reference problem points at the stream as written.
    std::unordered_map<std::string, long> stream_lines;
};

void note_entry(const cfg_document_entry *e, void *arg)
{
    auto *facts = static_cast<document_facts *>(arg);
    facts->merges.entry(*e);
    if (std::strcmp(e->entry, "stream") == 0)
        facts->stream_lines[fold(e->name != nullptr ? e->name : "default")] = e->line;
}

// A stream names its intake, server and encoder; a name that matches no
// entry of that kind would leave the client without it at run time. An
// unset reference is no problem. Names are resolved as the client resolves
// them, by the lists' own lookups.
class reference_check {
  public:
    reference_check(const document_facts &facts, log_input &messages)
        : facts_(facts), messages_(messages)
    {
    }

    void run() { cfg_stream_list_foreach(cfg_get_streams(), check_stream, this); }

  private:
    static void check_stream(cfg_stream *stream, void *arg)
    {
        auto *self = static_cast<reference_check *>(arg);
        const char *intake = cfg_stream_get_intake(stream);
        const char *server = cfg_stream_get_server(stream);
        const char *encoder = cfg_stream_get_encoder(stream);
        if (intake != nullptr && cfg_intake_list_find(cfg_get_intakes(), intake) == nullptr)
            self->report(stream, "intake", intake);
        if (server != nullptr && cfg_server_list_find(cfg_get_servers(), server) == nullptr)
            self->report(stream, "server", server);
        if (encoder != nullptr && cfg_encoder_list_find(cfg_get_encoders(), encoder) == nullptr)
            self->report(stream, "encoder", encoder);
    }

    void report(cfg_stream *stream, const char *reference, const char *name)
    {
        const char *stream_name = cfg_stream_get_name(stream);
        const auto line = facts_.stream_lines.find(fold(stream_name));
        messages_.error("%s[%ld]: stream (%s): %s: %s not found", messages_.path(),
                        line != facts_.stream_lines.end() ? line->second : 0L, stream_name,
                        reference, name);
    }

    const document_facts &facts_;
    log_input &messages_;
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
    XFREE(quoted);
    return word;
}

// The client refuses a file that others may write to, and warns when they
// may read it. It takes a file that its group may write to without a word,
// yet anyone in that group could change the commands the file runs: a
// warning here, and the file still accepted, as the client accepts it.
// Whatever is said comes with the command that sets a mode the client takes
// without a word: the owner's own permissions, with reading, and nothing
// for anyone else.
void check_mode(log_input &messages, const char *path, mode_t mode)
{
    if (mode & S_IWGRP)
        messages.warning("%s: group writeable", messages.path());
    if ((mode & (S_IROTH | S_IWOTH | S_IWGRP)) == 0)
        return;
    const unsigned int wanted = (mode & S_IRWXU) | S_IRUSR;
    messages.notice("%s: hint: chmod %o %s", messages.path(), wanted, shell_word(path).c_str());
}

// One check, whatever the document is read from: `read` reads it into the
// emptied active configuration, noting the entry elements in `facts`, and
// says whether the read succeeded.
template <typename Read> int check(const char *name, Read read)
{
    // Nothing of an earlier file may satisfy a reference of this one.
    cfg_clear(cfg_active());

    // The reader's messages and the checker's own share one channel, and
    // so one limit and one set of closing lines; the verdict comes after.
    log_input messages(name, "");
    document_facts facts{merge_check(), {}};
    const bool read_ok = read(messages, facts);
    const unsigned int read_errors = messages.errors();
    facts.merges.report(messages);
    // References are judged only on a complete model: after a refusal,
    // whole sections may be missing from it.
    if (read_ok)
        reference_check(facts, messages).run();
    const bool problems = messages.errors() != read_errors;
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
    return check(path, [path](log_input &messages, document_facts &facts) {
        // The mode is judged on the descriptor that is then parsed: a look
        // at the path, then an open of it, could judge one file and read
        // another put in its place meanwhile.
        fd_guard file(open(path, kOpenFlags));
        struct stat st;
        if (!file || fstat(file.get(), &st) != 0) {
            messages.error("%s: %s", messages.path(), std::strerror(errno));
            return false;
        }
        // The client reads a regular file; anything else could wait for a
        // writer or never end, and is not what the client will be given.
        if (!S_ISREG(st.st_mode)) {
            messages.error("%s: not a regular file (%s)", messages.path(),
                           fd_type_name(st.st_mode));
            return false;
        }
        const bool mode_ok = cfg_check_fd_mode(file.get(), path) == 0;
        check_mode(messages, path, st.st_mode);
        if (!mode_ok)
            return false;
        return cfg_document_read_fd_entries(file.get(), path, note_entry, &facts) == 0;
    });
}

int cfgcheck_stdin(const char *name)
{
    if (name == nullptr)
        name = "-";
    return check(name, [name](log_input &messages, document_facts &facts) {
        // No mode to check: the bytes are whatever the command before gave.
        std::string bytes;
        if (fd_read_all(STDIN_FILENO, kStdinMax, &bytes) != 0) {
            if (errno == EFBIG)
                messages.error("%s: longer than %zu bytes", messages.path(), kStdinMax);
            else
                messages.error("%s: %s", messages.path(), std::strerror(errno));
            return false;
        }
        return cfg_document_read_memory_entries(bytes.data(), bytes.size(), name, note_entry,
                                                &facts) == 0;
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
    for (int ch; (ch = program_getopt(argc, argv, kOptions)) != -1;) {
        switch (ch) {
        case 'h':
            program_help(kSynopsis, kOptionHelp);
            return 0;
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
        default:
            program_usage(kSynopsis);
            return 2;
        }
    }
    if (optind >= argc) {
        std::fputs("at least one file must be provided\n", stderr);
        program_usage(kSynopsis);
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
