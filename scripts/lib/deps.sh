# shellcheck shell=bash
# Sourced by the scripts that build or test. Each takes --install-deps among
# its arguments: with it, scripts/install-deps.sh installs whatever is
# missing; without it, the script only says what is missing and how to get it,
# so that no run calls apt behind the user's back.
#   SKIP_DEPS=1  do not look for apt packages at all (a machine without apt, or
#                one whose Qt comes from elsewhere)

deps_script=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/install-deps.sh

# require_deps SET ARGS...: SET is one of install-deps.sh's sets ("",
# --package, --extra); ARGS are the calling script's own arguments.
require_deps() {
    local set=$1 arg
    shift
    [[ ${SKIP_DEPS:-0} != 1 ]] || return 0
    for arg; do
        if [[ $arg == --install-deps ]]; then
            "$deps_script" ${set:+"$set"}
            return
        fi
    done
    "$deps_script" --check ${set:+"$set"} || {
        echo "(or run this script again with --install-deps)" >&2
        return 1
    }
}
