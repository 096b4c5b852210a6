#!/bin/sh
# Undoes what the fault tests do to their folders, should a test program end
# before its own cleanup ran: unmounts the small disks ("tessaline-test"
# tmpfs) mounted under the given folder and clears the immutable flag of the
# folders in it. Touches nothing outside that folder.
#   faults/cleanup.sh RUNS_FOLDER
set -u
root="${1:?usage: cleanup.sh RUNS_FOLDER}"
[ -d "$root" ] || exit 0
root="$(cd "$root" && pwd -P)"

# Deepest mounts first.
if [ -r /proc/self/mounts ]; then
  awk -v root="$root/" '$1 == "tessaline-test" && index($2, root) == 1 { print $2 }' /proc/self/mounts |
    sort -r | while read -r mount_point; do
      umount "$mount_point" 2>/dev/null || umount -l "$mount_point" 2>/dev/null ||
        echo "cleanup: cannot unmount $mount_point" >&2
    done
fi

if command -v lsattr >/dev/null 2>&1 && command -v chattr >/dev/null 2>&1; then
  find "$root" -xdev -type d 2>/dev/null | while read -r folder; do
    case "$(lsattr -d "$folder" 2>/dev/null | cut -d' ' -f1)" in
      *i*) chattr -i "$folder" 2>/dev/null || echo "cleanup: cannot clear the immutable flag of $folder" >&2 ;;
    esac
  done
fi
exit 0
