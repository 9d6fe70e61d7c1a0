# shellcheck shell=bash
# The rig's private Wine prefixes: made once per build tree with the virtual
# desktop's settings, Wine's fonts and a pristine copy of the registry, copied
# for each slot, and remade whenever their stamp is not the current one.
# wine_session.sh sources it; the directories it removes go through
# tiermo_remove_own.
# shellcheck source=remove.sh
source "$(dirname "${BASH_SOURCE[0]}")/remove.sh"

# Bumped whenever rig_create_prefix changes, so that older prefixes are remade.
# The stamp also records whether 32-bit programs ran when the prefix was made:
# a prefix made while they could not (no 32-bit Wine, or a kernel that
# refuses them before scripts/deps.sh set up their emulation) starts no
# 32-bit program once they can ("could not load kernel32.dll", or the process
# just ends), and the reverse.
RIG_PREFIX_VERSION=4
RIG_WINE_FONTS_DIR=/usr/share/wine/fonts
RIG_PRISTINE_DIR=.tiermo-pristine
RIG_REGISTRY_FILES=(system.reg user.reg userdef.reg)

# The stamp a prefix made now gets (see RIG_PREFIX_VERSION), with the time of
# Wine's wine.inf, by which Wine tells that it must update a prefix (as it
# writes in .update-timestamp): a prefix of an older Wine is made anew.
RIG_WINE_INF=/usr/share/wine/wine.inf
rig_prefix_stamp() {
    local wine32=yes
    [[ -n $(rig_wine32_unavailable) ]] && wine32=no
    echo "$RIG_PREFIX_VERSION wine32-runs=$wine32 wine.inf=$(stat -c %Y "$RIG_WINE_INF" 2>/dev/null)"
}

# Makes the prefix $WINEPREFIX ready once (under a lock): a slot's prefix as a
# copy of its base (made first when needed), any other as a new prefix
# (rig_create_prefix). Needs DISPLAY.
rig_ensure_prefix() {
    if [[ -n ${RIG_SLOT_BASE:-} && $WINEPREFIX == "${RIG_SLOT_PREFIX:-}" && $WINEPREFIX != "$RIG_SLOT_BASE" ]]; then
        WINEPREFIX=$RIG_SLOT_BASE rig_make_once rig_create_prefix &&
            rig_make_once rig_copy_prefix "$RIG_SLOT_BASE"
    else
        rig_make_once rig_create_prefix
    fi
}

# Runs "$@" to make the prefix $WINEPREFIX unless it bears the current stamp,
# under the prefix's lock.
rig_make_once() {
    local prefix=$WINEPREFIX lockfd
    mkdir -p "$(dirname "$prefix")"
    exec {lockfd}>"$prefix.lock"
    if ! flock -w 300 "$lockfd"; then
        rig_log "timed out waiting for the lock on $prefix"
        exec {lockfd}>&-
        return 1
    fi
    local rc=0
    if [[ $(cat "$prefix/$tiermo_ready_mark" 2>/dev/null) != "$(rig_prefix_stamp)" ]]; then
        "$@" || rc=$?
    fi
    exec {lockfd}>&-
    return $rc
}

# Makes $WINEPREFIX a copy of the ready prefix $1, stamp and pristine registry
# included: a copy of a prefix runs as the prefix does. Wine's own DLLs, 1.3
# of its 1.35 GB, are hard links to those of $1, as their copies cost as many
# seconds as there were tests under way (disk and CPU): Wine writes them only
# when it updates a prefix made by an older Wine, which the stamp rules out
# (see rig_prefix_stamp). Every other file, the registry among them, is the
# copy's own.
RIG_SHARED_DIRS=(drive_c/windows/system32 drive_c/windows/syswow64 drive_c/windows/winsxs)
rig_copy_prefix() {
    local prefix=$WINEPREFIX from=$1 start=$SECONDS new=$WINEPREFIX.new dir
    rig_log "copying Wine prefix $from to $prefix"
    tiermo_remove_own "$(tiermo_build_tree_of "$prefix")" "$prefix" "$new" || return 1
    local own=()
    for dir in "${RIG_SHARED_DIRS[@]}"; do own+=(-path "./$dir" -prune -o); done
    # Into a directory stamped first: all of it but the stamp as hard links,
    # then each file outside the shared folders replaced by a copy, and the
    # stamp of $from last.
    if ! tiermo_make_own "$new" ||
        ! find "$from" -mindepth 1 -maxdepth 1 ! -name "$tiermo_ready_mark" -exec cp -al -t "$new" {} + ||
        ! (cd "$new" && find . "${own[@]}" -type f -print0 |
            while IFS= read -r -d '' f; do cp -p "$f" "$f.copy" && mv "$f.copy" "$f" || exit 1; done) ||
        ! cp -p "$from/$tiermo_ready_mark" "$new/" || ! mv "$new" "$prefix"; then
        rig_log "could not copy $from to $prefix"
        return 1
    fi
    rig_log "prefix ready in $((SECONDS - start)) s"
}

rig_create_prefix() {
    local prefix=$WINEPREFIX start=$SECONDS
    rig_log "creating Wine prefix $prefix (once per build tree)"
    tiermo_remove_own "$(tiermo_build_tree_of "$prefix")" "$prefix" && tiermo_make_own "$prefix" || return 1
    if ! timeout 300 "$RIG_WINE" wineboot.exe -i >/dev/null 2>&1; then
        rig_log "wineboot failed"
        return 1
    fi
    timeout 60 wineserver -w >/dev/null 2>&1 || true
    # Debian's Wine loads none of its own fonts (package fonts-wine) unless
    # they are in the prefix: not the TrueType ones (Marlett for the caption
    # buttons, Tahoma), and not the bitmap ones, among them sserife.fon, "MS
    # Sans Serif", the font of every dialog template (without it fontconfig
    # gives DejaVu Sans, and dialogs grow: 7x13 dialog base units for 6x13).
    if [[ ! -f $RIG_WINE_FONTS_DIR/sserife.fon ]]; then
        rig_log "Wine's fonts are missing from $RIG_WINE_FONTS_DIR (package fonts-wine)"
        return 1
    fi
    find "$RIG_WINE_FONTS_DIR" -maxdepth 1 -type f \( -name '*.ttf' -o -name '*.fon' \) \
        -exec cp -t "$prefix/drive_c/windows/Fonts/" {} + || return 1
    local reg="$prefix/drive_c/rig-settings.reg"
    cat >"$reg" <<REG
REGEDIT4

[HKEY_CURRENT_USER\\Software\\Wine\\Explorer]
"Desktop"="$RIG_DESKTOP_NAME"

[HKEY_CURRENT_USER\\Software\\Wine\\Explorer\\Desktops]
"$RIG_DESKTOP_NAME"="$RIG_DESKTOP_SIZE"

[HKEY_CURRENT_USER\\Software\\Wine\\WineDbg]
"ShowCrashDialog"=dword:00000000

REG
    if ! timeout 60 "$RIG_WINE" regedit.exe /S 'C:\rig-settings.reg' >/dev/null 2>&1; then
        rig_log "could not import the prefix settings"
        return 1
    fi
    rm -f "$reg"
    rig_stop_wineserver
    if ! grep -q "\"$RIG_DESKTOP_NAME\"=\"$RIG_DESKTOP_SIZE\"" "$prefix/user.reg"; then
        rig_log "virtual desktop settings missing from $prefix/user.reg"
        return 1
    fi
    mkdir -p "$prefix/$RIG_PRISTINE_DIR"
    local f
    for f in "${RIG_REGISTRY_FILES[@]}"; do
        cp -p "$prefix/$f" "$prefix/$RIG_PRISTINE_DIR/$f"
    done
    rig_prefix_stamp >"$prefix/$tiermo_ready_mark"
    rig_log "prefix ready in $((SECONDS - start)) s"
}

# Puts back the registry as it was right after the prefix was made, so that no
# test sees what an earlier one wrote. The server of the prefix must be stopped.
rig_restore_registry() {
    local f
    for f in "${RIG_REGISTRY_FILES[@]}"; do
        cp -p "$WINEPREFIX/$RIG_PRISTINE_DIR/$f" "$WINEPREFIX/$f"
    done
}
