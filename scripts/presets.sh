# Sourced by the scripts: the build folder a configure preset of
# CMakePresets.json builds into, so a script and a maintainer typing
# `cmake --preset NAME` share one folder.
preset_dir() {
    case $1 in
        default) echo build ;;
        *) echo "build-$1" ;;
    esac
}
