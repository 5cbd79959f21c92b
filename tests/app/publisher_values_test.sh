#!/usr/bin/env bash
# The values a publisher sets (cmake/publisher.cmake) are checked when configuring: each bad value
# stops the configure step with the one line that names the variable and the reason; good values
# in their less usual forms end up in the generated header. (The default three-number version and
# its four-number version block are checked on the default build by tests/ui/check_resources.py.)
#   publisher_values_test.sh SOURCE_DIR
set -uo pipefail
source_dir=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/zenka-publisher-values.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
configure() { # configure FOLDER -DVARIABLE=VALUE...: output in FOLDER.log
  local folder=$work/$1
  shift
  cmake -S "$source_dir" -B "$folder" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$source_dir/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF "$@" >"$folder.log" 2>&1
}

# variable|value|the reason CMake gives, on one line after the variable and value
bad_values=(
  'ZENKA_DOWNLOAD_URL|ftp://example.org/ZENKA.zip|must start with http:// or https://'
  'ZENKA_DOWNLOAD_URL|releases.example.org/ZENKA.zip|must start with http:// or https://'
  'ZENKA_DOWNLOAD_URL|https:///ZENKA.zip|has no host name or address after ://, or a bad one'
  'ZENKA_DOWNLOAD_URL|https://user@example.org/ZENKA.zip|has no host name or address after ://, or a bad one'
  'ZENKA_DOWNLOAD_URL|https://example.org:70000/ZENKA.zip|has a port outside 1-65535'
  'ZENKA_DOWNLOAD_URL|https://example.org/my ZENKA.zip|holds a character a URL cannot (a space, quote, backslash, # or non-ASCII)'
  'ZENKA_DOWNLOAD_URL|https://example.org/ZENKA.zip"|holds a character a URL cannot (a space, quote, backslash, # or non-ASCII)'
  'ZENKA_DOWNLOAD_URL|https://example.org/загрузка.zip|holds a character a URL cannot (a space, quote, backslash, # or non-ASCII)'
  'ZENKA_SITE_URL|http://example.org|must start with https://'
  'ZENKA_SITE_URL|https://|has no host name or address after ://, or a bad one'
  'ZENKA_SITE_URL|https://example.org/|must be scheme and host only, with no path (not even /), query or fragment'
  'ZENKA_SITE_URL|https://example.org/about|must be scheme and host only, with no path (not even /), query or fragment'
  'ZENKA_VERSION|2.1|must be three or four numbers separated by dots, such as 2.1.0'
  'ZENKA_VERSION|2.1.0.0.1|must be three or four numbers separated by dots, such as 2.1.0'
  'ZENKA_VERSION|2.1.0-beta|must be three or four numbers separated by dots, such as 2.1.0'
  'ZENKA_VERSION||must be three or four numbers separated by dots, such as 2.1.0'
  'ZENKA_VERSION|2.01.0|has a number with a leading zero'
  'ZENKA_VERSION|2.1.65536|has a number over 65535, more than a version block holds'
)
case=0
for row in "${bad_values[@]}"; do
  IFS='|' read -r variable value reason <<<"$row"
  case=$((case + 1))
  line="   $variable \"$value\" $reason"
  if configure "bad$case" "-D$variable=$value"; then
    echo "FAIL: $variable=$value was accepted"
    failures=$((failures + 1))
  elif ! grep -qxF -- "$line" "$work/bad$case.log"; then
    echo "FAIL: $variable=$value stopped the configure step without the line"
    echo "  expected: $line"
    sed 's/^/  | /' "$work/bad$case.log"
    failures=$((failures + 1))
  else
    echo "ok: $variable=$value: $reason"
  fi
done

# Good values, the unusual forms among them: a port, an IPv6 address, a query; four numbers.
header=$work/good/generated/publisher.h
expect() { grep -qxF -- "$1" "$header" && echo "ok: $1" || { echo "FAIL: no line $1 in the header"; failures=$((failures + 1)); }; }
if configure good -DZENKA_DOWNLOAD_URL='http://[::1]:8080/get?file=ZENKA.zip' \
     -DZENKA_SITE_URL=https://games.example.org:8443 -DZENKA_VERSION=10.0.65535.7; then
  expect '#define ZENKA_DOWNLOAD_URL L"http://[::1]:8080/get?file=ZENKA.zip"'
  expect '#define ZENKA_SITE_URL L"https://games.example.org:8443"'
  expect '#define ZENKA_VERSION L"10.0.65535.7"'
  expect '#define ZENKA_VERSION_FIXED 10,0,65535,7'
  expect '#define ZENKA_VERSION_QUAD_TEXT "10.0.65535.7"'
else
  echo "FAIL: good values were refused"
  sed 's/^/  | /' "$work/good.log"
  failures=$((failures + 1))
fi

[ "$failures" = 0 ] || { echo "$failures check(s) failed"; exit 1; }
echo "all checks passed"
