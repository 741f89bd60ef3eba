#!/usr/bin/env bash
# Installs the Quenmar Online launcher for the current user, without root: copies the folder this
# script lies in (the launcher bundle) into the user's data folder, adds a desktop entry and icons
# so that the desktop's application menu offers the launcher, and starts it once.
#
# Running it again replaces the installed launcher as a whole: the new copy is made beside the old
# one and swapped in only when it is complete, so a failed copy leaves the old launcher working.
# Nothing the launcher wrote into its program folder is kept (update markers and backups describe
# the replaced version). Installed games, the log and settings live elsewhere and stay.
#
# As root it refuses to run (it would install into root's home by accident) unless
# QUENMAR_ALLOW_ROOT=1 is set.
set -euo pipefail

readonly app_id=de.brelmor.QuenmarLauncher
readonly executable_name=quenmar-launcher
readonly icon_sizes=(16 24 32 48 64 128 256)

usage() {
    cat <<EOF
Usage: $(basename "$0") [--no-start] | --uninstall | --purge | --help

Installs the Quenmar Online launcher for the current user into
  ${XDG_DATA_HOME:-\$HOME/.local/share}/Brelmor GmbH/Quenmar Online/launcher/
with an entry in the desktop's application menu, then starts it.

  --no-start   install or update, but do not start the launcher
  --uninstall  remove the launcher, its menu entry and icons; installed games stay
  --purge      remove the launcher, installed games, logs and the launcher's settings
  --help       show this text

Set QUENMAR_ALLOW_ROOT=1 to install for the root user.
EOF
}

fail() {
    echo "$(basename "$0"): $*" >&2
    exit 1
}

data_home=${XDG_DATA_HOME:-$HOME/.local/share}
config_home=${XDG_CONFIG_HOME:-$HOME/.config}
cache_home=${XDG_CACHE_HOME:-$HOME/.cache}
organisation_data="$data_home/Brelmor GmbH"
application_data="$organisation_data/Quenmar Online"
program_folder="$application_data/launcher"
desktop_entry="$data_home/applications/$app_id.desktop"

# The Exec value for a program path: one argument in double quotes with `"`, `$`, backquote and
# backslash escaped, then every backslash escaped again for the string value and % doubled.
desktop_exec_argument() {
    local quoted=$1
    quoted=${quoted//\\/\\\\}
    quoted=${quoted//\"/\\\"}
    quoted=${quoted//\$/\\\$}
    quoted=${quoted//\`/\\\`}
    quoted="\"$quoted\""
    quoted=${quoted//\\/\\\\}
    quoted=${quoted//%/%%}
    printf '%s' "$quoted"
}

refresh_caches() {
    if command -v update-desktop-database >/dev/null 2>&1; then
        update-desktop-database -q "$data_home/applications" 2>/dev/null || true
    fi
    if command -v gtk-update-icon-cache >/dev/null 2>&1 && [ -f "$data_home/icons/hicolor/index.theme" ]; then
        gtk-update-icon-cache -q -t "$data_home/icons/hicolor" 2>/dev/null || true
    fi
}

# Copies the bundle beside the installed launcher and swaps the copy in.
install_program() {
    local bundle=$1 staging replaced
    mkdir -p "$application_data"
    staging=$(mktemp -d "$application_data/.launcher-new.XXXXXX")
    if ! cp -a "$bundle/." "$staging/"; then
        rm -rf "$staging"
        fail "could not copy the launcher into $application_data"
    fi
    chmod 755 "$staging"
    if [ -e "$program_folder" ]; then
        replaced=$(mktemp -d "$application_data/.launcher-old.XXXXXX")
        mv "$program_folder" "$replaced/launcher"
        mv "$staging" "$program_folder"
        rm -rf "$replaced"
    else
        mv "$staging" "$program_folder"
    fi
}

install_desktop_entry() {
    local template="$program_folder/share/applications/$app_id.desktop.in" exec line
    [ -f "$template" ] || fail "the bundle lacks $template"
    exec=$(desktop_exec_argument "$program_folder/$executable_name")
    mkdir -p "$(dirname "$desktop_entry")"
    while IFS= read -r line || [ -n "$line" ]; do
        line=${line//@EXEC@/"$exec"}
        printf '%s\n' "${line//@ICON@/"$app_id"}"
    done <"$template" >"$desktop_entry.tmp"
    mv "$desktop_entry.tmp" "$desktop_entry"
}

install_icons() {
    local size source target
    for size in "${icon_sizes[@]}"; do
        source="$program_folder/share/icons/hicolor/${size}x${size}/apps/$app_id.png"
        target="$data_home/icons/hicolor/${size}x${size}/apps"
        if [ -f "$source" ]; then
            mkdir -p "$target"
            cp "$source" "$target/$app_id.png"
        fi
    done
}

remove_launcher() {
    local size link="$application_data/$executable_name"
    rm -rf "$program_folder" "$application_data"/.launcher-new.* "$application_data"/.launcher-old.*
    rm -f "$desktop_entry"
    for size in "${icon_sizes[@]}"; do
        rm -f "$data_home/icons/hicolor/${size}x${size}/apps/$app_id.png"
    done
    # The launcher keeps a link to itself next to the games; it would point at nothing now.
    if [ -L "$link" ]; then
        case $(readlink "$link") in
        "$program_folder"/*) rm -f "$link" ;;
        esac
    fi
}

# Everything the launcher keeps for this user: games, logs, its settings and its shared identifier.
purge_user_data() {
    rm -rf "$application_data" "$cache_home/Brelmor GmbH/Quenmar Online"
    rm -f "$config_home/Brelmor GmbH/Quenmar Online.conf" "$data_home/Quenmar Online/quenmarShared.json"
    rmdir "$organisation_data" "$config_home/Brelmor GmbH" "$cache_home/Brelmor GmbH" \
        "$data_home/Quenmar Online" 2>/dev/null || true
}

main() {
    local action=install start=yes
    case ${1:-} in
    "") ;;
    --no-start) start=no ;;
    --uninstall) action=uninstall ;;
    --purge) action=purge ;;
    --help | -h)
        usage
        return 0
        ;;
    *)
        usage >&2
        return 2
        ;;
    esac
    [ $# -le 1 ] || {
        usage >&2
        return 2
    }
    if [ "$(id -u)" -eq 0 ] && [ "${QUENMAR_ALLOW_ROOT:-}" != 1 ]; then
        fail "refusing to install for root (set QUENMAR_ALLOW_ROOT=1 to do it anyway)"
    fi
    [ -n "${HOME:-}" ] || [ -n "${XDG_DATA_HOME:-}" ] || fail "HOME is not set"

    case $action in
    uninstall | purge)
        remove_launcher
        [ "$action" = uninstall ] || purge_user_data
        refresh_caches
        echo "Quenmar Online launcher removed."
        return 0
        ;;
    esac

    local bundle
    bundle=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd -P)
    [ -x "$bundle/$executable_name" ] || fail "no $executable_name next to this script in $bundle"
    install_program "$bundle"
    install_desktop_entry
    install_icons
    refresh_caches
    echo "Quenmar Online launcher installed in $program_folder"
    if [ "$start" = yes ]; then
        local detach=()
        if command -v setsid >/dev/null 2>&1; then
            detach=(setsid)
        fi
        (cd "${HOME:-/}" && "${detach[@]}" "$program_folder/$executable_name" --first-launch </dev/null >/dev/null 2>&1 &)
    fi
}

main "$@"
