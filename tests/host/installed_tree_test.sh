#!/bin/bash
# The installed tree: `cmake --install` into a temporary prefix puts every
# program, the link XScreenSaver runs, the demo package, the option file and
# the man page in place; the option file is well formed and the player accepts
# every option it names; the installed player finds the installed package;
# the man page names every option of --help.
#
# Usage: installed_tree_test.sh BUILD_DIR
set -u
build=${1:?usage: $0 BUILD_DIR}
. "$(dirname "$0")/../support/player_test_lib.sh"
prefix="$work/prefix"

if ! cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1; then
  cat "$work/install.log"
  echo "FAIL: cmake --install"
  exit 1
fi

for f in bin/kelvo bin/kelvo-render bin/kelvo-pak bin/kelvo-tex bin/kelvo-check libexec/xscreensaver/kelvo; do
  [ -x "$prefix/$f" ] || fail "$f is not installed as a program"
done
for f in share/kelvo/kelvo.pak share/xscreensaver/config/kelvo.xml share/man/man6/kelvo.6; do
  [ -s "$prefix/$f" ] || fail "$f is not installed"
done
[ "$(readlink -f "$prefix/libexec/xscreensaver/kelvo")" = "$(readlink -f "$prefix/bin/kelvo")" ] ||
  fail "libexec/xscreensaver/kelvo is not the installed player"
saver="$prefix/libexec/xscreensaver/kelvo"

xml="$prefix/share/xscreensaver/config/kelvo.xml"
if command -v xmllint >/dev/null 2>&1; then
  xmllint --noout "$xml" || fail "kelvo.xml is not well formed"
else
  fail "xmllint is missing (package libxml2-utils)"
fi

# Every option the option file can pass, alone and all together; --help last
# so each is parsed first.
all=()
while IFS= read -r arg; do
  arg=${arg//%/kelvo}
  read -r -a words <<<"$arg"
  all+=("${words[@]}")
  "${player_env[@]}" "$saver" "${words[@]}" --help >/dev/null 2>"$work/opt.err" ||
    fail "the player refuses '$arg': $(cat "$work/opt.err")"
done < <(grep -o 'arg\(-set\|-unset\)\?="[^"]*"' "$xml" | sed 's/^[^"]*"//; s/"$//')
[ "${#all[@]}" -ge 10 ] || fail "only ${#all[@]} option words found in kelvo.xml"
"${player_env[@]}" "$saver" "${all[@]}" --help >/dev/null 2>&1 || fail "the player refuses the options together: ${all[*]}"
echo "kelvo.xml passes: ${all[*]}"

# The link runs the installed player, which finds the package in share/kelvo
# (nothing beside it, nothing in the user's folder).
if "${player_env[@]}" "$saver" --module KELVO --render 1 --out "$work/frames" --size 32x24 >"$work/render.log" 2>&1; then
  [ -s "$work/frames/frame0001.png" ] || fail "the installed player drew no frame"
else
  fail "the installed player does not find share/kelvo/kelvo.pak: $(cat "$work/render.log")"
fi

# Every option of --help is in the man page.
man="$prefix/share/man/man6/kelvo.6"
for option in $("$prefix/bin/kelvo" --help | grep -o -- '--[a-z][a-z-]*' | sort -u); do
  grep -qF -- "${option//-/\\-}" "$man" || fail "the man page does not name $option"
done
finish
