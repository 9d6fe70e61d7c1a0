# shellcheck shell=bash
# Debian 12's side of the emulation that scripts/emulation.sh sets up: the
# system it supports, its apt sources (bookworm-backports beside the
# machine's own Debian source) and qemu-user-static 10 from there. Source it;
# it sources root.sh and emulation_record.sh (add_backports records the source
# it adds), and defines the variables below and the functions after them.
# shellcheck source=root.sh
source "$(dirname "${BASH_SOURCE[0]}")/root.sh"
# shellcheck source=emulation_record.sh
source "$(dirname "${BASH_SOURCE[0]}")/emulation_record.sh"

# shellcheck disable=SC2034 # for scripts/emulation.sh
{
    suite=bookworm
    backports=$suite-backports
    debian_keyring=/usr/share/keyrings/debian-archive-keyring.gpg
    qemu_package="qemu-user-static"
    # Debian 12's own qemu (7.2) needs about 53 s to start each 32-bit Wine
    # process (the loader's address-space reservation makes some 130,000
    # mmap calls, each slow under it); qemu 10 about 1.3 s.
    qemu_min_version=1:10~
    apt_dir=$sys/etc/apt
    backports_sources=$apt_dir/sources.list.d/$backports.sources
    os_release=$sys/etc/os-release
}

# Ends the script unless this is Debian 12, the only system whose sources and
# packages setup knows.
supported_system() {
    local key value id="" codename="" name="" file=$os_release
    [[ -r $file ]] || file=$sys/usr/lib/os-release
    while IFS='=' read -r key value; do
        value=${value#\"} value=${value%\"}
        case $key in
        ID) id=$value ;;
        VERSION_CODENAME) codename=$value ;;
        PRETTY_NAME) name=$value ;;
        esac
    done 2>/dev/null <"$file"
    [[ $id == debian && $codename == "$suite" ]] && return
    say "setup supports Debian 12 ($suite) only, and this is ${name:-not it (no $os_release)}: changed nothing"
    say "make 32-bit programs run here yourself: a binfmt_misc handler for i386 programs, such as qemu-user-static 10's qemu-i386-static (older versions start 32-bit Wine very slowly)"
    exit 1
}

# The installed version of qemu; false when it is not installed.
qemu_version() {
    local line
    line=$(dpkg-query -W -f='${db:Status-Abbrev}=${Version}' "$qemu_package" 2>/dev/null) &&
        [[ $line == ii* ]] && echo "${line#*=}"
}
qemu_is_current() {
    local version
    version=$(qemu_version) && [[ -n $version ]] &&
        dpkg --compare-versions "$version" ge "$qemu_min_version"
}

# "FILE URI" of the first apt source of suite $1 that Debian's archive keyring
# signs: one that names the keyring, or one without a key on a debian.org host
# in Debian's own files (sources.list, debian.sources). Third parties' sources
# of the same suite are passed over.
debian_source() {
    local f own found
    for f in "$apt_dir/sources.list" "$apt_dir"/sources.list.d/*.list \
        "$apt_dir"/sources.list.d/*.sources; do
        [[ -f $f ]] || continue
        own=0
        [[ $f == "$apt_dir/sources.list" || $f == */debian.sources ]] && own=1
        found=$(awk -v suite="$1" -v own=$own -v keyring="$debian_keyring" -v file="$f" '
            function found(uri, key) {
                if (key == keyring || (key == "" && own && uri ~ /^https?:\/\/([^\/]*\.)?debian\.org\//)) {
                    print file, uri; done = 1; exit
                }
            }
            function stanza_end() {
                if (deb && ours && on) found(uri, key)
                deb = ours = 0; on = 1; uri = key = ""
            }
            BEGIN { on = 1; deb822 = file ~ /\.sources$/ }
            !deb822 && $1 == "deb" {
                i = 2; key = ""
                if ($i ~ /^\[/) {
                    for (; i <= NF; i++) {
                        if ($i ~ /signed-by=/) { key = $i; sub(/.*signed-by=/, "", key); sub(/\]$/, "", key) }
                        if ($i ~ /\]$/) { i++; break }
                    }
                }
                if ($(i + 1) == suite) found($i, key)
            }
            !deb822 { next }
            /^[[:space:]]*$/ { stanza_end(); next }
            /^#/ { next }
            tolower($1) == "types:" { for (i = 2; i <= NF; i++) if ($i == "deb") deb = 1 }
            tolower($1) == "uris:" { uri = $2 }
            tolower($1) == "suites:" { for (i = 2; i <= NF; i++) if ($i == suite) ours = 1 }
            tolower($1) == "signed-by:" { key = $2 }
            tolower($1) == "enabled:" && tolower($2) == "no" { on = 0 }
            END { if (!done && deb822) stanza_end() }' "$f")
        [[ -n $found ]] && echo "$found" && return
    done
}

add_backports() {
    local file uri
    read -r file uri < <(debian_source "$suite")
    if [[ -z ${uri:-} ]]; then
        say "no Debian $suite source (signed by $debian_keyring) in $apt_dir to add $backports beside; add $backports yourself"
        exit 1
    fi
    if [[ -e $backports_sources ]]; then
        say "$backports_sources exists but is no Debian source of $backports: mend or remove it"
        exit 1
    fi
    local added=""
    record_add "source $backports_sources" && added="source $backports_sources"
    write_or_fail "$backports_sources" "# Added by Tiermo's scripts/emulation.sh, beside $file; its undo removes it.
Types: deb
URIs: $uri
Suites: $backports
Components: main
Signed-By: $debian_keyring
"
    if ! apt_update -o APT::Update::Error-Mode=any; then
        say "apt-get update fails with $backports_sources: removed it again"
        run_or_fail rm -f "$backports_sources"
        [[ -z $added ]] || record_drop "$added"
        exit 1
    fi
}
