#!/usr/bin/env bash
# Releases of the checked-out commit.
#   tools/release.sh [OUT]   clones the commit twice, into folders of different names and
#                            depths, builds the Linux program, its Debian package and the
#                            Windows .exe in each, fails unless the two builds are
#                            byte-identical and the checks below pass, and writes the .exe, the
#                            .deb and SHA256SUMS to OUT (default build/release/talvo-netcheck-<version>).
#   tools/release.sh --check the test command's release stage: the tree's sources, copied to a
#                            folder elsewhere, built once more and compared with this tree's
#                            build/linux and build/windows (the presets' own builds), then the
#                            same checks on those builds.
# The checks: the .exe carries its version resource, manifest and icon, is under 600 KiB and
# names no build folder; the .deb has no lintian error, and unpacked into a scratch root gives
# a program that starts and refuses input that is not a terminal with exit code 1.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
mode=release
out=
case "${1:-}" in
  --check) mode=check ;;
  -h|--help) sed -n '2,14p' "$0"; exit 0 ;;
  '') ;;
  *) out=$1 ;;
esac
jobs=$(nproc)
((jobs > 2)) && jobs=2
max_exe_bytes=$((600 * 1024))

fail() {
  echo "release: $*" >&2
  echo "release: the builds are kept in $scratch" >&2
  keep=1
  exit 1
}
step() { printf 'release: %s\n' "$*"; }

scratch=$(mktemp -d /tmp/talvo-release.XXXXXX)
keep=0
trap '((keep)) || rm -rf "$scratch"' EXIT
# The release date is the commit's; the clones' builds read it from git, the copy from here.
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
export SOURCE_DATE_EPOCH

# Builds the program of both platforms and the .deb in the source tree $1; the build log goes
# to $1.log and is shown only when the build fails.
build_tree() {
  local src=$1
  step "building in $src"
  if ! (
    cd "$src"
    cmake --preset linux -DTALVO_BUILD_TESTS=OFF
    cmake --build --preset linux -j"$jobs" --target talvo-netcheck
    (cd build/linux && cpack -G DEB)
    cmake --preset windows -DTALVO_BUILD_TESTS=OFF
    cmake --build --preset windows -j"$jobs" --target talvo-netcheck
  ) >"$src.log" 2>&1; then
    cat "$src.log" >&2
    fail "the build in $src failed"
  fi
}

version_of() { sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$1/build/linux/CMakeCache.txt"; }

# The shipped files of one build tree, in a fixed order (the Linux program unstripped).
artifacts() {
  printf '%s\n' "$1/build/linux/talvo-netcheck" "$1/build/windows/talvo-netcheck.exe" \
    "$1/build/linux/talvo-netcheck_$(version_of "$1")_amd64.deb"
}

compare_builds() {
  local a=$1 b=$2 fa fb
  while read -r fa && read -r fb <&3; do
    cmp -s "$fa" "$fb" || fail "two builds differ: $fa $fb"
  done < <(artifacts "$a") 3< <(artifacts "$b")
  step "identical in $a and $b: $(artifacts "$a" | xargs -n1 basename | xargs)"
}

# The checks of one build tree: $1 the tree, then the folders whose names must not appear.
check_tree() {
  local tree=$1; shift
  local exe=$tree/build/windows/talvo-netcheck.exe linux=$tree/build/linux/talvo-netcheck
  local version deb resources
  version=$(version_of "$tree")
  [[ -n $version ]] || fail "no project version in $tree/build/linux"
  deb=$tree/build/linux/talvo-netcheck_${version}_amd64.deb
  [[ -f $deb ]] || fail "no package $deb"

  resources=$(x86_64-w64-mingw32-windres -J coff -O rc -i "$exe")
  local wanted
  for wanted in '"ProductName", "TALVO LINK - NETWORK CHECK"' "\"FileVersion\", \"$version\"" \
                "\"ProductVersion\", \"$version\"" '"OriginalFilename", "talvo-netcheck.exe"' \
                '"LegalCopyright", "Copyright' 'level=""asInvoker""' 'RT_GROUP_ICON'; do
    grep -qF -- "$wanted" <<<"$resources" || fail "the .exe lacks $wanted"
  done
  (($(grep -c 'supportedOS Id' <<<"$resources") == 4)) || fail "the manifest lacks Windows 7 to 11"
  local size
  size=$(stat -c %s "$exe")
  ((size < max_exe_bytes)) || fail "the .exe is $size bytes, over $max_exe_bytes"
  local file folder
  for file in "$exe" "$linux"; do
    for folder in "$@"; do
      ! grep -qaF -- "$folder" "$file" || fail "$file names the build folder $folder"
    done
  done
  step ".exe: $size bytes, version $version, icon, manifest asInvoker, Windows 7 to 11"

  [[ $(dpkg-deb -f "$deb" Version) == "$version" ]] || fail "the .deb's version is not $version"
  local lintian_out lintian_status=0
  lintian_out=$(lintian --fail-on error "$deb" 2>&1) || lintian_status=$?
  lintian_out=$(grep -v 'running with root privileges' <<<"$lintian_out" || true)
  ((lintian_status == 0)) || { echo "$lintian_out" >&2; fail "lintian found errors in $deb"; }
  step "lintian: ${lintian_out:-no tags}"
  local unpacked=$scratch/root.$RANDOM status=0
  dpkg-deb -x "$deb" "$unpacked"
  "$unpacked/usr/bin/talvo-netcheck" </dev/null >/dev/null 2>&1 || status=$?
  ((status == 1)) || fail "the packaged program answered input that is not a terminal with $status, not 1"
  local warnings
  warnings=$(man --warnings -E UTF-8 -l -Tutf8 -Z "$unpacked/usr/share/man/man1/talvo-netcheck.1.gz" 2>&1 >/dev/null)
  [[ -z $warnings ]] || fail "the manual page: $warnings"
  step ".deb: $(basename "$deb"), $(stat -c %s "$deb") bytes; Depends: $(dpkg-deb -f "$deb" Depends)"
  step "unpacked program refuses input that is not a terminal (exit 1); manual page without warnings"
}

# All of it in one function, read whole before it runs: editing this file during a release
# cannot change the release.
main() {
  start=$SECONDS
  if [[ $mode == check ]]; then
    # The sources as this tree has them, committed or not, in a folder of another name.
    copy=$scratch/second-build/talvo
    mkdir -p "$copy"
    git ls-files -z --cached --others --exclude-standard |
      tar --null -T - -cf - | tar -xf - -C "$copy"
    # This tree's builds, brought up to date: usually nothing to do after the presets' stages,
    # but the release date is the latest commit's.
    for preset in linux windows; do
      cmake --preset "$preset" >/dev/null
      cmake --build --preset "$preset" -j"$jobs" --target talvo-netcheck >/dev/null
    done
    (cd build/linux && cpack -G DEB >/dev/null 2>&1) || fail "cpack failed in build/linux"
    build_tree "$copy"
    compare_builds "$root" "$copy"
    check_tree "$root" "$root" "$copy"
    step "release stage: $((SECONDS - start)) s"
    exit 0
  fi

  [[ -z $(git status --porcelain --untracked-files=no) ]] ||
    echo "release: uncommitted changes are not released; building commit $(git rev-parse --short HEAD)" >&2
  commit=$(git rev-parse HEAD)
  first=$scratch/a/talvo
  second=$scratch/second/deeper/talvo-netcheck
  for clone in "$first" "$second"; do
    git clone -q --no-checkout "$root" "$clone"
    git -C "$clone" checkout -q --detach "$commit"
    build_tree "$clone"
  done
  compare_builds "$first" "$second"
  check_tree "$first" "$root" "$first" "$second"

  version=$(version_of "$first")
  out=${out:-build/release/talvo-netcheck-$version}
  mkdir -p "$out"
  cp "$first/build/windows/talvo-netcheck.exe" "$first/build/linux/talvo-netcheck_${version}_amd64.deb" "$out/"
  (cd "$out" && sha256sum talvo-netcheck.exe "talvo-netcheck_${version}_amd64.deb" >SHA256SUMS)
  step "written to $out ($((SECONDS - start)) s):"
  (cd "$out" && ls -l && cat SHA256SUMS)
}

main "$@"; exit
