#!/bin/sh
# Installs what the build needs on a Debian machine, only what is missing.
set -e
need=""
for pkg in g++-multilib qemu-user g++-mingw-w64-i686 cmake ninja-build libgtest-dev clang-format \
           clang libclang-rt-14-dev libstb-dev; do
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
    need="$need $pkg"
  fi
done
if [ -n "$need" ]; then
  echo "setup: installing$need"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  # A registry that hiccups once should not fail the whole run: three tries, a pause between.
  for try in 1 2 3; do
    if $SUDO apt-get update -qq &&
      DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $need; then
      exit 0
    fi
    echo "setup: install attempt $try failed"
    [ "$try" -lt 3 ] && sleep 10
  done
  echo "setup: could not install$need" >&2
  exit 1
fi
