# shellcheck shell=bash
# Sourced by the scripts that build.

# preset_dir PRESET: the build folder a configure preset of CMakePresets.json
# builds into, so a script and a maintainer typing `cmake --preset NAME`
# share one folder.
preset_dir() {
    case $1 in
        default) echo build ;;
        *) echo "build-$1" ;;
    esac
}

# warnings_option: CI (CI=true) treats every compiler warning as an error; a
# build by hand only shows them. Said on every configure, so a build folder
# that CI used once does not keep failing a build by hand.
warnings_option() {
    if [[ ${CI:-} == true ]]; then
        echo -DBENCH_CONSOLE_WERROR=ON
    else
        echo -DBENCH_CONSOLE_WERROR=OFF
    fi
}
