# shellcheck shell=bash disable=SC2154,SC2034
# Variables pass both ways between this file and the scripts that source it (release, tool, prepared).
# Sourced by scripts/debian-chroot-test and scripts/systemd-container-test: a Debian system of one release
# in a tmpfs, unpacked from a tarball cached under $LUMIVRA_CI_CACHE (default /var/cache/lumivra-ci) or made
# with debootstrap from Debian's package registry, and taken down on every way out: what runs in it is
# stopped, every mount is undone and the folder is removed. Needs root.
#
# The sourcing script sets `release` and `tool` (its name, for messages), and may set `on_exit` to a
# command that runs first on the way out.

mirror=${DEBIAN_MIRROR:-http://deb.debian.org/debian}
cache=${LUMIVRA_CI_CACHE:-/var/cache/lumivra-ci}

if [ "$(id -u)" != 0 ]; then
  echo "$tool: needs root (debootstrap, mount, chroot)" >&2
  exit 1
fi

root=$(mktemp -d "${TMPDIR:-/var/tmp}/lumivra-$release.XXXXXX")
mounts=()

step_started=$SECONDS
step() {
  echo "== $release: $1: $((SECONDS - step_started)) s"
  step_started=$SECONDS
}

# Processes whose root is the system: test peers (dbus-daemon, Xvfb, ...) that outlived their parent.
chroot_pids() {
  local link pid
  for link in /proc/[0-9]*/root; do
    pid=${link#/proc/}
    pid=${pid%/root}
    [ "$(readlink "$link" 2>/dev/null)" = "$root" ] && echo "$pid"
  done
  return 0
}

# Unmounts, newest first, every mount after the first `$1` ones.
unmount_after() {
  local i status=0
  for ((i = ${#mounts[@]} - 1; i >= $1; i--)); do
    umount "${mounts[i]}" || umount -l "${mounts[i]}" || status=1
  done
  mounts=("${mounts[@]:0:$1}")
  return "$status"
}

cleanup() {
  local status=$? pids
  trap - EXIT INT TERM
  [ -z "${on_exit:-}" ] || $on_exit || status=1
  pids=$(chroot_pids)
  if [ -n "$pids" ]; then
    # shellcheck disable=SC2086
    kill -TERM $pids 2>/dev/null || true
    for _ in $(seq 50); do
      pids=$(chroot_pids)
      [ -z "$pids" ] && break
      sleep 0.1
    done
    # shellcheck disable=SC2086
    [ -z "$pids" ] || kill -KILL $pids 2>/dev/null || true
  fi
  unmount_after 0 || status=1
  if findmnt -rn -o TARGET | grep -q "^$root"; then
    echo "$tool: mounts are left under $root; it is not deleted" >&2
    exit 1
  fi
  rmdir "$root"
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# Long steps run in the background: bash acts on a signal only once its foreground command ends, but at
# once while it waits.
interruptible() {
  "$@" &
  wait $!
}

mount_in() {
  mkdir -p "$root$2"
  mount "${@:3}" "$1" "$root$2"
  mounts+=("$root$2")
}

# In memory: unpacking and dpkg run faster, and removing the system is one unmount instead of minutes of
# deleting files.
mount_in lumivra-chroot / -t tmpfs -o size=16G,mode=755

# Unpacks the tarball `$1` when it is there and sets `prepared` to 1; else makes the system with
# debootstrap, passing it the further arguments, and sets `prepared` to 0.
unpack_or_debootstrap() {
  local tarball=$1
  shift
  if [ -f "$tarball" ]; then
    tar -C "$root" --zstd -xpf "$tarball"
    step "prepared system unpacked from $tarball"
    prepared=1
    return
  fi
  interruptible debootstrap --variant=minbase "$@" "$release" "$root" "$mirror" >"$root.debootstrap.log" 2>&1 ||
    { tail -n 30 "$root.debootstrap.log" >&2; rm -f "$root.debootstrap.log"; exit 1; }
  rm -f "$root.debootstrap.log"
  # Package scripts must not start services (nginx on port 80, ...) on the host's network.
  printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
  chmod 755 "$root/usr/sbin/policy-rc.d"
  # A throw-away system: dpkg need not wait for each file to reach the disk.
  echo force-unsafe-io >"$root/etc/dpkg/dpkg.cfg.d/unsafe-io"
  step "debootstrap $release"
  prepared=0
}

# What a chroot needs: /proc, /dev with a private /dev/shm, and the host's resolver.
mount_for_chroot() {
  mount_in proc /proc -t proc
  mount_in /dev /dev --bind
  mount_in /dev/pts /dev/pts --bind
  mount_in shm /dev/shm -t tmpfs -o mode=1777,nosuid,nodev
  cp /etc/resolv.conf "$root/etc/resolv.conf"
}

# Runs the shell command line `$1` in the chroot with a clean environment and the variables given after it.
in_chroot() {
  interruptible chroot "$root" /usr/bin/env -i HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    LANG=C.UTF-8 TERM=dumb "${@:2}" /bin/bash -c "$1"
}

# Saves the system (without /src and /var/cache/ccache) as the tarball `$1`, removing the older ones whose
# names start like it up to its last "-".
save_system() {
  mkdir -p "$cache"
  rm -f "${1%-*}"-*.tar.zst
  tar -C "$root" --one-file-system --exclude=./src --exclude=./var/cache/ccache --zstd -cpf "$1.partial" . &&
    mv "$1.partial" "$1"
  step "prepared system saved to $1"
}
