#!/usr/bin/env python3
"""Writes two text dictionaries holding the same rows: one in random order,
one sorted by token (byte order, as the index compares keys).

    make_dictionary.py ROWS RANDOM_PATH SORTED_PATH

Tokens are 4 to 30 characters of letters, digits and a little punctuation,
all distinct; the counts are small random numbers. The seed is fixed, so
every run writes the same files.
"""
import random
import sys

ALPHABET = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.-_@$!=:"


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    rows = int(sys.argv[1])
    generator = random.Random(20240611)
    tokens = set()
    while len(tokens) < rows:
        length = min(30, 4 + int(generator.expovariate(1 / 5.0)))
        tokens.add("".join(generator.choice(ALPHABET) for _ in range(length)))
    lines = ["%s\t%d\t%d\n" % (token, generator.randint(0, 40), generator.randint(0, 40))
             for token in tokens]
    generator.shuffle(lines)
    header = "Token\t%d\t%d\n" % (1900, 4100)
    with open(sys.argv[2], "w", encoding="ascii", newline="\n") as handle:
        handle.write(header)
        handle.writelines(lines)
    lines.sort(key=lambda line: line.split("\t", 1)[0].encode("ascii"))
    with open(sys.argv[3], "w", encoding="ascii", newline="\n") as handle:
        handle.write(header)
        handle.writelines(lines)


if __name__ == "__main__":
    main()
