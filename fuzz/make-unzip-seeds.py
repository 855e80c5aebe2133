#!/usr/bin/env python3
"""Writes the seed archives of the unzip fuzz target into fuzz/corpus/unzip/.

Each is small and holds one of the things a hostile or damaged release archive can carry, so the
fuzzer starts next to every refusal path. Run again only to change the seeds; the output is
committed. Needs the zip program (scripts/setup installs it) for the encrypted member, which
comes out different each time (its encryption header is random).
"""
import io
import os
import subprocess
import sys
import tempfile
import warnings
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "corpus", "unzip")
# A fixed date, so that the archives come out the same on every run.
DATE = (2012, 5, 13, 12, 0, 0)


def member(name, mode=0o100644, system=3):
    info = zipfile.ZipInfo(name, DATE)
    info.create_system = system
    info.external_attr = mode << 16
    return info


def write(name, entries, compression=zipfile.ZIP_DEFLATED):
    with zipfile.ZipFile(os.path.join(OUT, name), "w", compression) as archive:
        for info, data in entries:
            info.compress_type = compression
            archive.writestr(info, data)


def main():
    os.makedirs(OUT, exist_ok=True)
    # The same name twice is one of the seeds' points.
    warnings.simplefilter("ignore", UserWarning)
    # What a release looks like: a program, a folder with a text, a member that runs.
    write("release.zip", [
        (member("ttdpatchw.exe"), b"MZ" + b"\0" * 62),
        (member("docs/"), b""),
        (member("docs/readme.txt"), b"TTDPatch\r\n" * 20),
        (member("mkpttxt", 0o100755), b"#!/bin/sh\n"),
        (member("with space/name with space.txt"), b"spaces"),
    ])
    # Names that try to leave the folder, and a link that would lead out of it.
    write("escapes.zip", [
        (member("../outside.txt"), b"up"),
        (member("/tmp/absolute.txt"), b"absolute"),
        (member("C:/drive.txt"), b"drive"),
        (member("dir\\..\\..\\backslash.txt"), b"backslash"),
        (member("a/./b/../c.txt"), b"dots"),
        (member("stream.txt:hidden"), b"colon"),
        (member("link", 0o120777), b"../.."),
        (member("link/through.txt"), b"through the link"),
        (member("fifo", 0o010644), b""),
    ])
    # A file where a folder is needed, a folder where a file is, and the same name twice.
    write("conflicts.zip", [
        (member("a"), b"file a"),
        (member("a/b.txt"), b"below a file"),
        (member("d/"), b""),
        (member("d"), b"file over a folder"),
        (member("twice.txt"), b"first"),
        (member("TWICE.txt"), b"other case"),
        (member("twice.txt"), b"second"),
    ])
    # Two megabytes of zeros: more than the target's size limit from a few kilobytes.
    write("bomb.zip", [(member("zeros.bin"), b"\0" * (2 * 1024 * 1024))])
    # Stored, with the CRC of a member spoiled after writing.
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", zipfile.ZIP_STORED) as archive:
        archive.writestr(member("stored.txt"), b"stored data that will not match its CRC")
    data = bytearray(buffer.getvalue())
    at = data.find(b"stored data")
    data[at] ^= 0x20
    with open(os.path.join(OUT, "bad-crc.zip"), "wb") as f:
        f.write(data)
    # A member encrypted with the password the target answers first ("secret").
    with tempfile.TemporaryDirectory() as work:
        with open(os.path.join(work, "secret.txt"), "wb") as f:
            f.write(b"encrypted member\r\n")
        os.utime(os.path.join(work, "secret.txt"), (1336910400, 1336910400))
        target = os.path.join(OUT, "encrypted.zip")
        if os.path.exists(target):
            os.remove(target)
        subprocess.run(["zip", "-q", "-X", "-P", "secret", target, "secret.txt"], cwd=work, check=True)
    # Cut short in the middle of the central directory.
    with open(os.path.join(OUT, "release.zip"), "rb") as f:
        whole = f.read()
    with open(os.path.join(OUT, "truncated.zip"), "wb") as f:
        f.write(whole[: len(whole) - 30])
    return 0


if __name__ == "__main__":
    sys.exit(main())
