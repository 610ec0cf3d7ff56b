#!/usr/bin/env bash
# A small disk for the end-to-end runs that fill one: a tmpfs mounted on a
# folder of the Wine prefix's C: drive (as root), with a mark file that
# tells the test it is there. Without the rights to mount, the folder is
# left without the mark and the test says it was skipped.
#   small_disk.sh mount PREFIX FOLDER SIZE | small_disk.sh umount PREFIX FOLDER
set -u
action=$1 prefix=$2 folder=$3
dir=$prefix/drive_c/$folder
case $action in
  mount)
    umount "$dir" 2>/dev/null || true
    rm -rf "$dir"
    mkdir -p "$dir"
    if mount -t tmpfs -o "size=$4" tmpfs "$dir" 2>/dev/null; then
      touch "$dir/small_disk.mark"
      echo "a tmpfs of $4 on $dir"
    else
      echo "no tmpfs could be mounted on $dir (not root?): the full-disk run is skipped"
    fi
    ;;
  umount)
    umount "$dir" 2>/dev/null || true
    rm -rf "$dir"
    ;;
esac
exit 0
