#!/bin/bash
# The bash completion of sonivate-cli against the program itself: every
# option a subcommand's --help lists is offered after "--", the subcommands
# are offered first, and marker names come quoted so that the shell keeps
# their '$'. bash-completion's helpers are stood in for, so that the check
# needs only bash.
#
#   check_completion.sh COMPLETION_FILE SONIVATE_CLI
set -u
completion=$1
cli=$2

# Stand-ins for bash-completion: the words as typed, files not listed.
_init_completion() {
    cur=${COMP_WORDS[COMP_CWORD]}
    prev=${COMP_WORDS[COMP_CWORD - 1]}
    words=("${COMP_WORDS[@]}")
    cword=$COMP_CWORD
}
_filedir() { COMPREPLY+=("<files:${1:-any}>"); }
# shellcheck source=/dev/null
source "$completion"

failures=0
# Completes the words given (the last one being typed) into $COMPREPLY.
complete_words() {
    COMP_WORDS=(sonivate-cli "$@")
    COMP_CWORD=$(($# ))
    COMPREPLY=()
    _sonivate_cli
}
offers() {
    local want=$1 word
    for word in "${COMPREPLY[@]}"; do [[ $word == "$want" ]] && return 0; done
    return 1
}
expect() {
    local want=$1
    shift
    complete_words "$@"
    offers "$want" || {
        echo "FAIL: 'sonivate-cli $*' does not offer $want (offers: ${COMPREPLY[*]})"
        failures=$((failures + 1))
    }
}

commands=$("$cli" --help | awk '/^Subcommands:/ { on = 1; next } on && NF { print $1 }')
[[ -n $commands ]] || { echo "FAIL: no subcommands in --help"; exit 1; }
for command in $commands; do
    expect "$command" ""
    for option in $("$cli" "$command" --help | grep -oE '^  (-h,)?--[a-z-]+' | sed 's/^ *-h,//'); do
        expect "$option" "$command" --
    done
done
expect "'BC\$START'" run --from ""
expect "'BC\$STANDBY'" run --from "'BC\$ST"
expect file-start run --from f
expect "'BC\$END'" run --to "BC"
expect ebu-r128-s1 measure --profile ebu
expect "<files:@([wW][aA][vV])>" measure ""
expect "<files:-d>" run --write --output-dir ""

if [[ $failures -gt 0 ]]; then
    exit 1
fi
echo "completion checks passed"
