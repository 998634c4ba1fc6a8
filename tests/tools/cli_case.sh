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

# Sets `args` (one argument per line of the file `args`) and `argv0` (the
# name to start the tool under, by default the program's), makes every file
# private to its owner, then runs the case's `setup`, if any. The checkout's
# umask would otherwise decide what a reader that looks at file modes says;
# `setup` gives a file any other mode a case needs.
cli_case_prepare() {
    args=()
    if [ -f args ]; then
        while IFS= read -r line || [ -n "$line" ]; do
            args+=("$line")
        done < args
    fi
    argv0=$(cli_case_program)
    [ -f argv0 ] && argv0=$(cat argv0)
    chmod -R go-rwx .
    [ -x setup ] && ./setup
    return 0
}

# Prints FILE without the system log's "NAME[PID]: " framing, NAME being
# the last component of argv0.
cli_case_strip_framing() {
    local name_re
    name_re=$(printf '%s' "${argv0##*/}" | sed 's/[][\.*^$/+?(){}|]/\\&/g')
    sed -E "s/^${name_re}\[[0-9]+\]: //" "$1"
}
