#!/usr/bin/env bash
# Proves the README's two commands on a machine that has nothing but what scripts/setup.sh installs:
# bootstraps a minimal Debian 12 (bookworm) root in a temporary folder (mmdebstrap, minbase variant
# plus git and CA certificates, with this machine's own apt sources), clones the repository's committed
# HEAD into it, and runs `scripts/example.sh` then `scripts/test.sh` inside it (chroot, /proc and /dev
# mounted). Prints each command's exit status and wall time, removes the root on every exit path, and
# exits non-zero when either command fails. Run as root (the bootstrap and the mounts need it); it
# installs mmdebstrap through apt when missing. Takes a full build from scratch: about half an hour on
# two cores.
#
# Environment: KEEP_LOGS=1 keeps the two commands' output in ./fresh-check-*.log (it is otherwise shown
# only for a failing command, last 60 lines).
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)

if [ "$(id -u)" -ne 0 ]; then
  echo "fresh-check: run as root (mmdebstrap and chroot need it)" >&2
  exit 2
fi
if ! command -v mmdebstrap >/dev/null; then
  DEBIAN_FRONTEND=noninteractive apt-get update -qq >/dev/null
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends mmdebstrap >/dev/null
fi

# The machine's own apt sources: every .sources/.list file apt reads here, deb822 and one-line forms.
sources=$(mktemp)
for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.sources /etc/apt/sources.list.d/*.list; do
  [ -f "$f" ] || continue
  case "$f" in
  *.sources) mmdebstrap_mirror_args+=("$f") ;;
  *) cat "$f" >>"$sources" ;;
  esac
done
[ -s "$sources" ] && mmdebstrap_mirror_args+=("$sources")

root=$(mktemp -d /tmp/fresh-check.XXXXXX)
mounted=()
cleanup() {
  local m
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
    m=${mounted[i]}
    umount -l "$m" 2>/dev/null || true
  done
  # Remove only what is no longer a mount point: never follow a bind mount into the host.
  if ! grep -q " $root/" /proc/mounts; then
    rm -rf --one-file-system "$root"
  else
    echo "fresh-check: $root still has mounts; left in place" >&2
  fi
  rm -f "$sources"
}
trap cleanup EXIT INT TERM

echo "fresh-check: bootstrapping Debian 12 into $root"
start=$(date +%s)
mmdebstrap --quiet --variant=minbase --include=git,ca-certificates bookworm "$root" \
  "${mmdebstrap_mirror_args[@]}" >/dev/null
echo "fresh-check: bootstrap took $(($(date +%s) - start)) s"

git clone --quiet --no-local "$repo" "$root/src"
echo "fresh-check: cloned $(git -C "$root/src" log -1 --format='%h %s')"
cp /etc/resolv.conf "$root/etc/resolv.conf"
for m in proc dev; do
  case "$m" in
  proc) mount -t proc proc "$root/proc" ;;
  dev) mount --rbind /dev "$root/dev" && mount --make-rslave "$root/dev" ;;
  esac
  mounted+=("$root/$m")
done

failed=0
run() {
  local name=$1 log status t0 t1
  log=$(mktemp)
  t0=$(date +%s)
  status=0
  chroot "$root" /usr/bin/env -i HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    LANG=C.UTF-8 /bin/bash -c "cd /src && $name" >"$log" 2>&1 || status=$?
  t1=$(date +%s)
  printf 'fresh-check: %-18s exit %d  wall %d s\n' "$name" "$status" "$((t1 - t0))"
  if [ "$status" -ne 0 ]; then
    failed=1
    tail -n 60 "$log" | sed 's/^/  | /'
  fi
  if [ -n "${KEEP_LOGS:-}" ]; then
    cp "$log" "$repo/fresh-check-$(basename "${name%% *}" .sh).log"
  fi
  rm -f "$log"
}
run scripts/example.sh
run scripts/test.sh
exit "$failed"
