#!/usr/bin/env bash
# Installs the Debian packages the build needs, and those named as
# arguments (scripts/fuzz.sh asks for clang); silent when all are present.
set -euo pipefail

packages=(cmake g++ ninja-build libgtest-dev libedit-dev pkg-config nlohmann-json3-dev pybind11-dev
  qt6-base-dev "$@")

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}" >&2
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
# Standard input stays untouched: it may hold what the program run next
# reads (scripts/run.sh).
$sudo apt-get install -y -q "${missing[@]}" </dev/null >/dev/null 2>&1 || {
  $sudo apt-get update -q </dev/null >/dev/null
  $sudo apt-get install -y -q "${missing[@]}" </dev/null >/dev/null
}
