# Shared by the tests that boot Debian's kernel in qemu (scripts/uhid-vm-test,
# scripts/usb-vm-test, scripts/wine-hid-vm-test): fetching the kernel and its modules once, building a
# busybox initramfs, choosing the accelerator and booting with a hard timeout.
# Source it after `cd` to the repository root; it defines functions only.
#
#   vm_fetch_kernel            kernel + every module either test loads, kept in build-vm/kernel
#   vm_new_initramfs DIR       a tree with busybox and the modules, ready for an init script
#   vm_copy_with_libraries DIR PROGRAM...   programs plus every library ldd lists for them
#   vm_pack_initramfs DIR OUT  the newc cpio, gzipped
#   vm_choose_accel            sets vm_accel: KVM only when proven or asked for, else TCG
#   vm_boot INITRD LOG SECONDS [QEMU ARGS...]
#                              boots, echoes the guest's console, keeps it in LOG
#                              (vm_memory: MiB of guest memory, default 512)
#
# VELTRANE_VM_ACCEL=kvm uses KVM without probing it; =tcg never tries it (this
# also stands in for a probe that failed).

vm_root=$PWD
vm_cache=$vm_root/build-vm
vm_kernel=$vm_cache/kernel

vm_say() { echo "${vm_name:-vm}: $*" >&2; }

# CONFIG option:module file, in the order a guest loads them.
vm_modules=(
  USB_COMMON:usb-common USB:usbcore USB_GADGET:udc-core USB_DUMMY_HCD:dummy_hcd
  CONFIGFS_FS:configfs USB_LIBCOMPOSITE:libcomposite USB_F_FS:usb_f_fs
  HID:hid USB_HID:usbhid HID_GENERIC:hid-generic UHID:uhid
  VIRTIO:virtio_ring VIRTIO:virtio VIRTIO_PCI_LIB:virtio_pci_modern_dev
  VIRTIO_PCI_LIB_LEGACY:virtio_pci_legacy_dev VIRTIO_PCI:virtio_pci
  NET_9P:9pnet NET_9P_VIRTIO:9pnet_virtio NETFS_SUPPORT:netfs FSCACHE:fscache 9P_FS:9p
  OVERLAY_FS:overlay
)

vm_fetch_kernel() {
  [ -f "$vm_kernel/vmlinuz" ] && [ -f "$vm_kernel/drivers.txt" ] &&
    [ "$(wc -l <"$vm_kernel/drivers.txt")" -eq ${#vm_modules[@]} ] && return 0
  local pkg deb
  pkg=$(apt-cache depends linux-image-amd64 2>/dev/null |
        awk '/Depends: linux-image-[0-9]/ {print $2; exit}')
  if [ -z "$pkg" ] && [ "$(id -u)" -eq 0 ]; then
    # A machine whose package lists were never fetched knows no kernel package yet.
    apt-get update -qq >/dev/null 2>&1 || true
    pkg=$(apt-cache depends linux-image-amd64 2>/dev/null |
          awk '/Depends: linux-image-[0-9]/ {print $2; exit}')
  fi
  [ -n "$pkg" ] || { vm_say "cannot tell which kernel package linux-image-amd64 names"; return 1; }
  vm_say "downloading $pkg (once; kept in build-vm/)"
  mkdir -p "$vm_cache"
  rm -rf "$vm_cache/download" "$vm_kernel.tmp"
  mkdir -p "$vm_cache/download" "$vm_kernel.tmp/modules"
  (cd "$vm_cache/download" && apt-get download "$pkg" >/dev/null 2>&1) ||
    { vm_say "apt-get download $pkg failed"; return 1; }
  deb=$(ls "$vm_cache"/download/*.deb)
  dpkg-deb -x "$deb" "$vm_cache/download/x"
  cp "$vm_cache"/download/x/boot/vmlinuz-* "$vm_kernel.tmp/vmlinuz"
  cp "$vm_cache"/download/x/boot/config-* "$vm_kernel.tmp/config"
  # A driver built in needs no module; one built as a module is copied
  # (decompressed: busybox insmod reads plain .ko files).
  local option name found
  for option in "${vm_modules[@]}"; do
    name=${option#*:}
    case "$(grep "^CONFIG_${option%%:*}=" "$vm_kernel.tmp/config" || true)" in
      *=y) echo "$name: built in" ;;
      *=m)
        found=$(find "$vm_cache/download/x/lib/modules" -name "$name.ko*" | head -n1)
        [ -n "$found" ] || { vm_say "module $name not in the package"; return 1; }
        case "$found" in
          *.ko) cp "$found" "$vm_kernel.tmp/modules/$name.ko" ;;
          *.ko.xz) xz -dc "$found" >"$vm_kernel.tmp/modules/$name.ko" ;;
          *.ko.zst) zstd -qdc "$found" >"$vm_kernel.tmp/modules/$name.ko" ;;
          *.ko.gz) gzip -dc "$found" >"$vm_kernel.tmp/modules/$name.ko" ;;
        esac
        echo "$name: module" ;;
      *) vm_say "the kernel has no CONFIG_${option%%:*}"; return 1 ;;
    esac
  done >"$vm_kernel.tmp/drivers.txt" || return 1
  grep -q '^CONFIG_HIDRAW=y' "$vm_kernel.tmp/config" || { vm_say "the kernel has no built-in hidraw"; return 1; }
  echo "$pkg" >"$vm_kernel.tmp/package"
  rm -rf "$vm_cache/download" "$vm_kernel"
  mv "$vm_kernel.tmp" "$vm_kernel"
}

vm_new_initramfs() {
  local dir=$1 busybox= candidate
  for candidate in /bin/busybox /usr/bin/busybox "$(command -v busybox || true)"; do
    [ -x "$candidate" ] || continue
    if ! ldd "$candidate" >/dev/null 2>&1; then busybox=$candidate; break; fi  # static
  done
  [ -n "$busybox" ] || { vm_say "a static busybox is needed (package busybox-static)"; return 1; }
  rm -rf "$dir"
  mkdir -p "$dir"/{bin,dev,proc,sys,tmp,lib/modules}
  cp "$busybox" "$dir/bin/busybox"
  cp "$vm_kernel"/modules/*.ko "$dir/lib/modules/" 2>/dev/null || true
}

# Copies each PROGRAM into DIR/bin and every library ldd lists for it (the
# dynamic loader included) to the same path under DIR.
vm_copy_with_libraries() {
  local dir=$1 program lib
  shift
  for program in "$@"; do
    cp "$program" "$dir/bin/"
    for lib in $(ldd "$program" | grep -o '/[^ ]*'); do
      mkdir -p "$dir$(dirname "$lib")"
      cp -L "$lib" "$dir$lib"
    done
  done
}

vm_pack_initramfs() {
  (cd "$1" && find . | cpio -o -H newc --quiet | gzip -1) >"$2"
}

# KVM is used only when a tiny guest boots with it within a hard timeout:
# on some machines /dev/kvm exists but the guest hangs after the firmware.
vm_choose_accel() {
  vm_accel=(-accel tcg)
  case "${VELTRANE_VM_ACCEL:-}" in
    tcg) vm_say "accelerator: TCG (VELTRANE_VM_ACCEL=tcg)"; return 0 ;;
    kvm) vm_accel=(-enable-kvm -cpu host); vm_say "accelerator: KVM (VELTRANE_VM_ACCEL=kvm)"; return 0 ;;
    '') ;;
    *) vm_say "VELTRANE_VM_ACCEL takes kvm or tcg; probing" ;;
  esac
  if ! [ -r /dev/kvm ] || ! [ -w /dev/kvm ]; then
    vm_say "accelerator: TCG (no usable /dev/kvm)"
    return 0
  fi
  local probe=$vm_cache/kvm-probe
  vm_new_initramfs "$probe/root" || return 1
  printf '#!/bin/busybox sh\n/bin/busybox echo VM-PROBE-OK\n/bin/busybox poweroff -f\n' >"$probe/root/init"
  chmod +x "$probe/root/init"
  vm_pack_initramfs "$probe/root" "$probe/initramfs.cpio.gz"
  if timeout 20 qemu-system-x86_64 -enable-kvm -cpu host -nographic -no-reboot -m 256 \
       -kernel "$vm_kernel/vmlinuz" -initrd "$probe/initramfs.cpio.gz" \
       -append "console=ttyS0 panic=-1 quiet" </dev/null 2>&1 | grep -q VM-PROBE-OK; then
    vm_accel=(-enable-kvm -cpu host)
    vm_say "accelerator: KVM (a probe guest booted with it)"
  else
    vm_say "accelerator: TCG (a probe guest did not boot with KVM within 20 s)"
  fi
}

# Boots INITRD with the chosen accelerator and any further qemu arguments; the
# guest's console goes to stdout and LOG. Returns qemu's status (124: the
# timeout ended it).
vm_boot() {
  local initrd=$1 log=$2 seconds=$3 status
  shift 3
  vm_say "booting (${vm_accel[*]}), guest output follows"
  set +e
  timeout -k 10 "$seconds" qemu-system-x86_64 "${vm_accel[@]}" -nographic -no-reboot \
    -m "${vm_memory:-512}" "$@" -kernel "$vm_kernel/vmlinuz" -initrd "$initrd" \
    -append "console=ttyS0 panic=-1 quiet" </dev/null 2>&1 | stdbuf -o0 tr -d '\r' | tee "$log"
  status=${PIPESTATUS[0]}
  set -e
  return "$status"
}
