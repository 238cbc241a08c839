#!/usr/bin/env python3
"""Packs a folder into a .zip or .tar.gz that is the same to the byte whenever the folder's
contents are: entries sorted by name, every time stamp the given one, modes 0755 for folders and
programs and 0644 for the rest, no owner, no build machine's names.

Usage: archive.py OUT.zip|OUT.tar.gz FOLDER [--prefix NAME] [--mtime SECONDS]
  --prefix  the archive's entries go under NAME/ (a folder of that name when unpacked)
  --mtime   the time stamp of every entry, in seconds since 1970 (default: $SOURCE_DATE_EPOCH)
"""
import argparse
import gzip
import io
import os
import stat
import sys
import tarfile
import time
import zipfile


def entries(folder):
    """(path in the archive, path on disk) for every folder and file below FOLDER, sorted."""
    found = []
    for root, dirs, files in os.walk(folder):
        for name in dirs + files:
            full = os.path.join(root, name)
            if os.path.islink(full):
                sys.exit(f"archive: {full} is a symbolic link; releases hold plain files only")
            found.append((os.path.relpath(full, folder).replace(os.sep, "/"), full))
    return sorted(found)


def mode_of(path):
    if os.path.isdir(path):
        return 0o755
    return 0o755 if os.stat(path).st_mode & stat.S_IXUSR else 0o644


def write_zip(out, items, mtime):
    # Zip stores local date and time without a zone; the release's is given in UTC.
    date_time = time.gmtime(max(mtime, 315532800))[:6]
    with zipfile.ZipFile(out, "w") as archive:
        for name, path in items:
            is_dir = os.path.isdir(path)
            info = zipfile.ZipInfo(name + "/" if is_dir else name, date_time)
            info.create_system = 3  # Unix, so that unzip restores the modes
            info.external_attr = ((stat.S_IFDIR if is_dir else stat.S_IFREG) | mode_of(path)) << 16
            if is_dir:
                info.external_attr |= 0x10  # the MS-DOS directory flag
                archive.writestr(info, b"")
            else:
                info.compress_type = zipfile.ZIP_DEFLATED
                with open(path, "rb") as f:
                    archive.writestr(info, f.read(), compresslevel=9)


def write_tar_gz(out, items, mtime):
    buffer = io.BytesIO()
    with tarfile.open(fileobj=buffer, mode="w", format=tarfile.GNU_FORMAT) as archive:
        for name, path in items:
            info = tarfile.TarInfo(name)
            info.mtime = mtime
            info.mode = mode_of(path)
            info.uid = info.gid = 0
            info.uname = info.gname = ""
            if os.path.isdir(path):
                info.type = tarfile.DIRTYPE
                archive.addfile(info)
            else:
                info.size = os.path.getsize(path)
                with open(path, "rb") as f:
                    archive.addfile(info, f)
    # The gzip header's own time stamp and file name are fixed too.
    with open(out, "wb") as raw, gzip.GzipFile(filename="", mode="wb", fileobj=raw,
                                                 compresslevel=9, mtime=mtime) as packed:
        packed.write(buffer.getvalue())


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("out")
    parser.add_argument("folder")
    parser.add_argument("--prefix", default="")
    parser.add_argument("--mtime", type=int, default=os.environ.get("SOURCE_DATE_EPOCH"))
    args = parser.parse_args()
    if args.mtime is None:
        sys.exit("archive: no time stamp: give --mtime or set SOURCE_DATE_EPOCH")
    if not os.path.isdir(args.folder):
        sys.exit(f"archive: {args.folder} is not a folder")
    items = entries(args.folder)
    if args.prefix:
        items = [(args.prefix, args.folder)] + [(f"{args.prefix}/{n}", p) for n, p in items]
    temporary = args.out + ".partial"
    if args.out.endswith(".zip"):
        write_zip(temporary, items, args.mtime)
    elif args.out.endswith(".tar.gz"):
        write_tar_gz(temporary, items, args.mtime)
    else:
        sys.exit("archive: the output's name ends in .zip or .tar.gz")
    os.replace(temporary, args.out)


if __name__ == "__main__":
    main()
