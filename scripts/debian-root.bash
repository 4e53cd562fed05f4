# Sourced by the checks that run textsift on a fresh Debian system: a minimal root made with
# debootstrap (minbase) from this system's own mirror, entered with chroot. Needs root.
#
#   make_root DIR SUITE     a fresh root in DIR (whatever DIR held before is removed first)
#   in_root COMMAND...      runs COMMAND in it with a clean environment, as root
#   remove_root             unmounts and removes it (call it from an EXIT trap); KEEP_ROOT=1
#                           keeps it for a look afterwards
#
# The caller sets scripts_dir to this folder.

debian_root=""

make_root() {
  local dir=$1 suite=$2 mirror
  "$scripts_dir/install-deps" debootstrap
  mirror=$("$scripts_dir/debian-mirror") || return 1
  debian_root=$(mkdir -p "$dir" && cd "$dir" && pwd)
  remove_root_now
  mkdir -p "$debian_root"
  echo "debootstrap --variant=minbase $suite from $mirror into $debian_root" >&2
  if ! debootstrap --variant=minbase "$suite" "$debian_root" "$mirror" >"$debian_root.log" 2>&1; then
    tail -n 20 "$debian_root.log" >&2
    echo "debootstrap failed (the whole log is $debian_root.log)" >&2
    return 1
  fi
  cp /etc/resolv.conf "$debian_root/etc/resolv.conf"
  mount -t proc proc "$debian_root/proc"
  mount -t sysfs sysfs "$debian_root/sys"
  mount --rbind /dev "$debian_root/dev"
  mount --make-rslave "$debian_root/dev"
}

in_root() {
  chroot "$debian_root" /usr/bin/env -i HOME=/root LANG=C.UTF-8 TERM=dumb \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    DEBIAN_FRONTEND=noninteractive "$@"
}

# The mounts inside the root, deepest first.
root_mounts() {
  findmnt -rn -o TARGET | awk -v root="$debian_root/" 'index($0, root) == 1' | sort -r
}

remove_root_now() {
  [ -n "$debian_root" ] && [ -d "$debian_root" ] || return 0
  local mount
  for mount in $(root_mounts); do umount -R "$mount" 2>/dev/null || umount -l "$mount" || true; done
  if [ -n "$(root_mounts)" ]; then
    echo "cannot unmount everything in $debian_root: left in place" >&2
    return 1
  fi
  rm -rf --one-file-system "$debian_root" "$debian_root.log"
}

remove_root() {
  if [ "${KEEP_ROOT:-}" = 1 ]; then
    local mount
    for mount in $(root_mounts); do umount -R "$mount" 2>/dev/null || umount -l "$mount" || true; done
    echo "the root stays in $debian_root (KEEP_ROOT=1)" >&2
    return 0
  fi
  remove_root_now
}
