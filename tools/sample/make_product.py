"""Writes the sample product's data files into a directory: texts and data of
varied sizes, among them one of several megabytes that compresses well and
one that does not, so that the progress bar visibly moves during extraction.
The content is the same on every run.

Run as: python3 make_product.py OUT_DIR
"""
import os
import random
import sys

KB = 1024


def text_lines(count):
    words = ("archive member window deflate setup progress install directory "
             "table decoder block header").split()
    rng = random.Random(1)
    return "".join(" ".join(rng.choice(words) for _ in range(10)) + "\r\n"
                   for _ in range(count)).encode()


def noise(size, seed):
    rng = random.Random(seed)
    return rng.randbytes(size)


FILES = (
    ("TARVEX.HLP", lambda: text_lines(300)),
    ("TVSHLEXT.DLL", lambda: noise(24 * KB, 2)),
    ("TVTOOLS.DAT", lambda: noise(2048 * KB, 3)),
    ("SAMPLES.TXT", lambda: text_lines(60000)),
    ("EMPTY.CFG", lambda: b""),
)


def main(out_dir):
    os.makedirs(out_dir, exist_ok=True)
    for name, make in FILES:
        with open(os.path.join(out_dir, name), "wb") as f:
            f.write(make())
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
