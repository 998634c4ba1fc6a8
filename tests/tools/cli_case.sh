# Sourced by the scripts that run command-line cases: what a case folder
# says about how to start the tool. Call in the case's working copy.

# The program a case runs: the one named in its file `program`, else the
# migration tool.
cli_case_program() {
    if [ -f program ]; then
        cat program
    else
        echo onyxcast-cfgmigrate
    fi
}

# Sets `args` (one argument per line of the file `args`, or each ended by
# a NUL byte in the file `args0`, for arguments that hold a line break)
# and `argv0` (the name to start the tool under, by default the
# program's), fetches the shared inputs the case names, makes every file
# private to its owner, then runs the case's `setup`, if any. The
# checkout's umask would otherwise decide what a reader that looks at file
# modes says; `setup` gives a file any other mode a case needs.
#
# A file `shared` names inputs kept once for many cases: each line is
# "NAME SOURCE", SOURCE a path from the tests folder (such as
# fixtures/v0-typical.xml, or cli/typical-file/expected.stdout for another
# case's output), copied to NAME in the working copy. `setup` finds the
# shared helpers in $CLI_FIXTURES. CASE_DIR is the case's own folder.
cli_case_prepare() { # CASE_DIR
    local tests_dir name source
    tests_dir=$(realpath "$1/../..")
    args=()
    if [ -f args ]; then
        while IFS= read -r line || [ -n "$line" ]; do
            args+=("$line")
        done < args
    elif [ -f args0 ]; then
        while IFS= read -r -d '' line; do
            args+=("$line")
        done < args0
    fi
    argv0=$(cli_case_program)
    [ -f argv0 ] && argv0=$(cat argv0)
    if [ -f shared ]; then
        while read -r name source; do
            [ -n "$name" ] || continue
            mkdir -p "$(dirname "$name")"
            cp "$tests_dir/$source" "$name" || return 1
        done < shared
    fi
    chmod -R go-rwx .
    if [ -x setup ]; then
        CLI_FIXTURES=$tests_dir/fixtures ./setup || return 1
    fi
    return 0
}

# Where the tool's standard input comes from: the file the case's
# `stdin-from` names (an input of the case's copy, or a device), else
# /dev/null.
cli_case_stdin() {
    if [ -f stdin-from ]; then
        cat stdin-from
    else
        echo /dev/null
    fi
}

# Prints FILE without the system log's "NAME[PID]: " framing, NAME being
# the last component of argv0, or any name for a caller without one.
cli_case_strip_framing() {
    local name_re='[^ []*'
    if [ -n "${argv0:-}" ]; then
        name_re=$(printf '%s' "${argv0##*/}" | sed 's/[][\.*^$/+?(){}|]/\\&/g')
    fi
    sed -E "s/^${name_re}\[[0-9]+\]: //" "$1"
}
