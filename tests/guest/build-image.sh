#!/usr/bin/env bash
# Builds the emulated i386 machine that runs the shipped 32-bit setup.exe:
# a Debian i386 root with 32-bit Wine (unpacked on the host, nothing 32-bit
# runs here), its kernel, a small initrd and a read-only ext4 image of the root.
# Everything lands in build/guest and is rebuilt only when missing or when the
# package list below changes.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=${GUEST_WORK:-$(cd "$here/../.." && pwd)/build/guest}
root=$work/rootfs
mkdir -p "$work"

packages=base-files,base-passwd,bash,coreutils,dash,util-linux,mount,kmod,procps,findutils,grep,sed,libc-bin,gawk,wine,wine32,linux-image-686,busybox-static
stamp=$(printf '%s\n' "$packages" | cat - "$here/build-image.sh" "$here/initrd-init" | md5sum | cut -c1-32)
if [ -f "$work/disk.ext4" ] && [ "$(cat "$work/stamp" 2>/dev/null)" = "$stamp" ]; then
  echo "guest image: cached ($work)"
  exit 0
fi
start=$(date +%s)
rm -f "$work/stamp" "$work/disk.ext4"

if [ ! -f "$root/.complete" ] || [ "$(cat "$root/.complete")" != "$packages" ]; then
  rm -rf "$root"
  mirror=$(awk '/^URIs:/ { print $2; exit }' /etc/apt/sources.list.d/debian.sources 2>/dev/null || true)
  mmdebstrap --quiet --variant=extract --architectures=i386 --include="$packages" \
    bookworm "$root" "deb ${mirror:-http://deb.debian.org/debian} bookworm main"
  printf '%s' "$packages" > "$root/.complete"
fi

# What the package scripts would have done; they cannot run on this kernel.
cp -n "$root/usr/share/base-passwd/passwd.master" "$root/etc/passwd"
cp -n "$root/usr/share/base-passwd/group.master" "$root/etc/group"
ln -sf gawk "$root/usr/bin/awk"
printf '127.0.0.1 localhost guest\n' > "$root/etc/hosts"
echo guest > "$root/etc/hostname"
# libwine installs zlib1.dll from the mingw zlib package, marked as a Wine
# builtin; without it user32, gdi32 and shell32 do not load.
in=$root/usr/i686-w64-mingw32/lib/zlib1.dll
out=$root/usr/lib/i386-linux-gnu/wine/i386-windows/zlib1.dll
{ head -c 64 "$in"; printf '%b' 'Wine builtin DLL' '\0\0\0\0\0\0\0\0' '\0\0\0\0\0\0\0\0'; tail -c +97 "$in"; } > "$out"
ldconfig -r "$root"
mkdir -p "$root/root"

kernel=$(ls "$root/boot" | sed -n 's/^vmlinuz-//p' | head -n 1)
/sbin/depmod -b "$root" "$kernel"
cp "$root/boot/vmlinuz-$kernel" "$work/vmlinuz"

# The 686 kernel has the disk, the file systems and the host share only as
# modules, and the package carries no initrd: a busybox one loads them.
initrd=$work/initrd.d
rm -rf "$initrd"
mkdir -p "$initrd/bin" "$initrd/mods"
cp "$root/bin/busybox" "$initrd/bin/"
cp "$here/initrd-init" "$initrd/init"
for module in virtio virtio_ring virtio_pci_legacy_dev virtio_pci_modern_dev virtio_pci virtio_blk \
              crc16 mbcache jbd2 crc32c_generic ext4 netfs fscache 9pnet 9pnet_virtio 9p; do
  found=$(find "$root/lib/modules/$kernel" -name "$module.ko*" | head -n 1)
  [ -n "$found" ] || continue
  cp "$found" "$initrd/mods/"
  echo "$(basename "$found")" >> "$initrd/mods/order"
done
(cd "$initrd" && find . | cpio -o -H newc --quiet | gzip -1) > "$work/initrd.gz"

# The machine boots with -snapshot: the image itself is never written.
mke2fs -q -t ext4 -E root_owner=0:0 -d "$root" "$work/disk.ext4" 3G
echo "$stamp" > "$work/stamp"
echo "guest image: built in $(( $(date +%s) - start )) s ($(du -h "$work/disk.ext4" | cut -f1) used)"
